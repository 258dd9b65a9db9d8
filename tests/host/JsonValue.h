#pragma once

// A small JSON reader for the tests: enough to take qcan-host's documents apart and fail loudly on
// anything that is not JSON.

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class JsonValue {
public:
    enum Type { NUL, BOOL, NUMBER, STRING, ARRAY, OBJECT };

    // Throws std::runtime_error with the offset of the first error.
    static JsonValue parse(const std::string& text);

    Type type() const { return type_; }
    bool isNull() const { return type_ == NUL; }
    bool asBool() const;
    double asNumber() const;
    const std::string& asString() const;
    const std::vector<JsonValue>& items() const;
    const std::map<std::string, JsonValue>& members() const;
    bool has(const std::string& key) const;
    // Member access; throws when this is not an object or the key is missing.
    const JsonValue& operator[](const std::string& key) const;

private:
    class Reader;
    Type type_ = NUL;
    bool bool_ = false;
    double number_ = 0.0;
    std::string string_;
    std::vector<JsonValue> items_;
    std::map<std::string, JsonValue> members_;
};
