#include "ReplayLineParser.h"

#include <cstring>

#if !wxUSE_UNICODE_WCHAR
#error "the reader walks wxString's characters as wchar_t"
#endif

namespace Sensors {

namespace {

const int MAX_PIECES = 14;  // time, direction, channel, identifier, type, DLC, eight data bytes
const unsigned long long US_PER_S = 1000000ULL;

struct Piece {
    const wchar_t* begin;
    const wchar_t* end;
    size_t size() const { return static_cast<size_t>(end - begin); }
    bool contains(const char* text) const
    {
        const size_t n = std::strlen(text);
        for (const wchar_t* p = begin; p + n <= end; ++p) {
            size_t i = 0;
            while (i < n && p[i] == static_cast<wchar_t>(text[i]))
                ++i;
            if (i == n)
                return true;
        }
        return false;
    }
};

int digitValue(wchar_t c, unsigned base)
{
    int v = -1;
    if (c >= L'0' && c <= L'9')
        v = c - L'0';
    else if (c >= L'a' && c <= L'f')
        v = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F')
        v = c - L'A' + 10;
    return v >= 0 && static_cast<unsigned>(v) < base ? v : -1;
}

// The whole text must be digits of the base; the value must fit in 32 bits.
bool readNumber(const wchar_t* b, const wchar_t* e, unsigned base, unsigned long& out)
{
    if (b == e)
        return false;
    unsigned long long v = 0;
    for (const wchar_t* p = b; p != e; ++p) {
        const int d = digitValue(*p, base);
        if (d < 0)
            return false;
        v = v * base + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFULL)
            return false;
    }
    out = static_cast<unsigned long>(v);
    return true;
}

// Leading decimal digits, 0 when there are none (as the C function atoi reads a time part); the
// value stops growing at nine digits so that no text can overflow it.
unsigned long long leadingDecimal(const wchar_t*& p, const wchar_t* e, int* digits = nullptr)
{
    unsigned long long v = 0;
    int n = 0;
    while (p != e && *p >= L'0' && *p <= L'9') {
        if (n < 9)
            v = v * 10 + static_cast<unsigned>(*p - L'0');
        ++n;
        ++p;
    }
    if (digits)
        *digits = n;
    return v;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// "YYYY-MM-DD" before the "T" of the first time part; false when it is no such date.
bool readDate(const wchar_t* b, const wchar_t* e, long long& days)
{
    unsigned long part[3];
    int index = 0;
    const wchar_t* start = b;
    for (const wchar_t* p = b; p <= e; ++p) {
        if (p == e || *p == L'-') {
            if (index > 2 || p - start > 4 || !readNumber(start, p, 10, part[index]))
                return false;
            ++index;
            start = p + 1;
        }
    }
    if (index != 3 || part[1] < 1 || part[1] > 12 || part[2] < 1 || part[2] > 31)
        return false;
    days = daysFromCivil(static_cast<long long>(part[0]), part[1], part[2]);
    return days >= 0;
}

bool readTime(const Piece& piece, unsigned long long& us, bool& dated, const char** why)
{
    const wchar_t* parts[5];
    const wchar_t* ends[4];
    int n = 0;
    parts[0] = piece.begin;
    for (const wchar_t* p = piece.begin; p != piece.end; ++p) {
        if (*p == L':') {
            if (n >= 3) {
                *why = "the time has more than four parts";
                return false;
            }
            ends[n] = p;
            parts[++n] = p + 1;
        }
    }
    if (n != 3) {
        *why = "the time does not have four parts";
        return false;
    }
    ends[3] = piece.end;

    long long days = 0;
    const wchar_t* hourText = parts[0];
    dated = false;
    for (const wchar_t* p = parts[0]; p != ends[0]; ++p) {
        if (*p == L'T') {
            if (!readDate(parts[0], p, days)) {
                *why = "the date is not YYYY-MM-DD";
                return false;
            }
            dated = true;
            hourText = p + 1;
            break;
        }
    }
    const wchar_t* p = hourText;
    const unsigned long long hours = leadingDecimal(p, ends[0]);
    p = parts[1];
    const unsigned long long minutes = leadingDecimal(p, ends[1]);
    p = parts[2];
    const unsigned long long seconds = leadingDecimal(p, ends[2]);
    int digits = 0;
    p = parts[3];
    const wchar_t* fractionStart = p;
    leadingDecimal(p, ends[3], &digits);
    // Up to three digits count milliseconds; four or more, tenths of a millisecond (first four).
    unsigned long long fractionUs = 0;
    const wchar_t* q = fractionStart;
    if (digits >= 4) {
        const wchar_t* four = fractionStart + 4;
        fractionUs = leadingDecimal(q, four) * 100;
    } else if (digits > 0) {
        fractionUs = leadingDecimal(q, ends[3]) * 1000;
    }
    us = static_cast<unsigned long long>(days) * 86400ULL * US_PER_S + (hours * 3600 + minutes * 60 + seconds) * US_PER_S +
         fractionUs;
    return true;
}

}  // namespace

ReplayLineKind ReplayLineParser::parse(const wxString& line, bool hexadecimal, ReplayLine& out, const char** why)
{
    const char* reason = nullptr;
    if (!why)
        why = &reason;
    *why = nullptr;
    std::memset(&out, 0, sizeof out);

    // The string's own characters, NULs included: the reader never reads past its length.
    const wchar_t* p = line.wx_str();
    const wchar_t* const end = p + line.length();

    Piece pieces[MAX_PIECES];
    int count = 0;
    while (count < MAX_PIECES) {
        while (p != end && *p == L' ')
            ++p;
        if (p == end)
            break;
        pieces[count].begin = p;
        while (p != end && *p != L' ')
            ++p;
        pieces[count].end = p;
        ++count;
    }
    if (count == 0 || (pieces[0].size() >= 3 && pieces[0].begin[0] == L'*' && pieces[0].begin[1] == L'*' &&
                       pieces[0].begin[2] == L'*'))
        return REPLAY_LINE_OTHER;
    if (count < 6) {
        *why = "fewer than six pieces";
        return REPLAY_LINE_BAD;
    }
    for (int i = 0; i < count; ++i) {
        if (pieces[i].size() > MAX_PIECE) {
            *why = "a piece is too long";
            return REPLAY_LINE_BAD;
        }
    }

    if (!readTime(pieces[0], out.timeUs, out.dated, why))
        return REPLAY_LINE_BAD;
    if (!pieces[1].contains("Rx")) {
        out.received = false;  // a transmitted frame: a frame line, never sent
        return REPLAY_LINE_FRAME;
    }
    out.received = true;

    unsigned long dlc = 0;
    if (!readNumber(pieces[5].begin, pieces[5].end, 10, dlc)) {
        *why = "the DLC is not a number";
        return REPLAY_LINE_BAD;
    }

    const Piece& idPiece = pieces[3];
    const wchar_t* idBegin = idPiece.begin;
    unsigned long id = 0;
    if (hexadecimal) {
        if (idPiece.contains("0x")) {
            while (*idBegin != L'x')
                ++idBegin;
            ++idBegin;
        }
    }
    if (!readNumber(idBegin, idPiece.end, hexadecimal ? 16 : 10, id)) {
        *why = "the identifier is not a number";
        return REPLAY_LINE_BAD;
    }

    const Piece& type = pieces[4];
    if (type.contains("s")) {
        out.frame.header.ext = 0;
    } else if (type.contains("x")) {
        out.frame.header.ext = 1;
    } else {
        *why = "the type is neither s nor x";
        return REPLAY_LINE_BAD;
    }
    if (id > (out.frame.header.ext ? 0x1FFFFFFFUL : 0x7FFUL)) {
        *why = "the identifier is out of range";
        return REPLAY_LINE_BAD;
    }
    out.frame.header.id = static_cast<uint32_t>(id);
    out.frame.header.rtr = type.contains("r") ? 1 : 0;

    const unsigned bytes = dlc > 8 ? 8 : static_cast<unsigned>(dlc);
    out.frame.header.dlc = static_cast<uint16_t>(bytes);
    for (unsigned i = 0; i < bytes; ++i) {
        const int index = 6 + static_cast<int>(i);
        if (index >= count) {
            if (out.frame.header.rtr)
                break;  // a remote frame carries no data
            *why = "fewer data bytes than the DLC";
            return REPLAY_LINE_BAD;
        }
        unsigned long value = 0;
        if (!readNumber(pieces[index].begin, pieces[index].end, hexadecimal ? 16 : 10, value)) {
            *why = "a data byte is not a number";
            return REPLAY_LINE_BAD;
        }
        out.frame.data[i] = static_cast<uint8_t>(value & 0xFF);
    }
    return REPLAY_LINE_FRAME;
}

}  // namespace Sensors
