#include "text/messages.h"

#include <cstdarg>
#include <cstdio>

namespace quillon::text {
namespace {

// Widths and precisions come from translation files; a wild number must not
// turn into a huge allocation. Messages are cut to 255 characters anyway.
constexpr std::size_t kMaxFieldWidth = 1024;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string VFormat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return {};
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

void AppendCodePoint(std::string& out, std::uint64_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        out += '?';
    } else if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

struct Directive {
    bool leftAlign = false;
    bool zeroPad = false;
    bool alternate = false;
    bool plusSign = false;
    bool spaceSign = false;
    std::size_t width = 0;
    bool hasPrecision = false;
    std::size_t precision = 0;
    char conversion = 0;
};

void Pad(std::string& out, std::string_view body, const Directive& d) {
    const std::size_t length = CountCharacters(body);
    const std::size_t fill = d.width > length ? d.width - length : 0;
    if (d.leftAlign) {
        out += body;
        out.append(fill, ' ');
    } else {
        out.append(fill, ' ');
        out += body;
    }
}

void AppendText(std::string& out, std::string_view text, const Directive& d) {
    std::string body(text);
    if (d.hasPrecision) CutToCharacters(body, d.precision);
    Pad(out, body, d);
}

// An unsigned view of a signed value the way a 32-bit platform shows it: -1
// prints as ffffffff, not as a 64-bit pattern.
std::uint64_t UnsignedOf(const FormatArg& arg) {
    if (arg.kind() == FormatArg::Kind::kUnsigned) return arg.AsUnsigned();
    const std::int64_t v = arg.AsSigned();
    if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<std::uint32_t>(v);
    return static_cast<std::uint64_t>(v);
}

void AppendNumber(std::string& out, const FormatArg& arg, const Directive& d) {
    bool negative = false;
    std::uint64_t magnitude = 0;
    unsigned base = 10;
    const char conv = d.conversion;
    if (conv == 'd' || conv == 'i') {
        if (arg.kind() == FormatArg::Kind::kSigned && arg.AsSigned() < 0) {
            negative = true;
            magnitude = 0 - static_cast<std::uint64_t>(arg.AsSigned());
        } else {
            magnitude = arg.kind() == FormatArg::Kind::kSigned
                            ? static_cast<std::uint64_t>(arg.AsSigned())
                            : arg.AsUnsigned();
        }
    } else {
        magnitude = UnsignedOf(arg);
        if (conv == 'x' || conv == 'X') base = 16;
    }
    const char* digitsSet = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string digits;
    for (std::uint64_t v = magnitude; v != 0; v /= base)
        digits.insert(digits.begin(), digitsSet[v % base]);
    if (d.hasPrecision) {
        if (digits.size() < d.precision) digits.insert(0, d.precision - digits.size(), '0');
    } else if (digits.empty()) {
        digits = "0";
    }
    std::string prefix;
    if (negative) {
        prefix = "-";
    } else if ((conv == 'd' || conv == 'i') && d.plusSign) {
        prefix = "+";
    } else if ((conv == 'd' || conv == 'i') && d.spaceSign) {
        prefix = " ";
    }
    if (base == 16 && d.alternate && magnitude != 0) prefix += conv == 'X' ? "0X" : "0x";
    if (d.zeroPad && !d.leftAlign && !d.hasPrecision) {
        const std::size_t length = prefix.size() + digits.size();
        if (d.width > length) digits.insert(0, d.width - length, '0');
    }
    Pad(out, prefix + digits, d);
}

std::size_t ReadNumber(std::string_view format, std::size_t& pos) {
    std::size_t value = 0;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
        value = value * 10 + static_cast<std::size_t>(format[pos] - '0');
        if (value > kMaxFieldWidth) value = kMaxFieldWidth;
        ++pos;
    }
    return value;
}

}  // namespace

std::size_t CountCharacters(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        if (!IsContinuationByte(c)) ++count;
    }
    return count;
}

void CutToCharacters(std::string& text, std::size_t maxCharacters) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsContinuationByte(text[i])) continue;
        if (count == maxCharacters) {
            text.resize(i);
            return;
        }
        ++count;
    }
}

std::string FormatArgs(std::string_view format, std::span<const FormatArg> args) {
    std::string out;
    std::size_t nextArg = 0;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const char c = format[pos];
        if (c != '%') {
            out += c;
            ++pos;
            continue;
        }
        const std::size_t start = pos++;
        if (pos < format.size() && format[pos] == '%') {
            out += '%';
            ++pos;
            continue;
        }
        Directive d;
        for (; pos < format.size(); ++pos) {
            const char flag = format[pos];
            if (flag == '-') {
                d.leftAlign = true;
            } else if (flag == '0') {
                d.zeroPad = true;
            } else if (flag == '#') {
                d.alternate = true;
            } else if (flag == '+') {
                d.plusSign = true;
            } else if (flag == ' ') {
                d.spaceSign = true;
            } else {
                break;
            }
        }
        d.width = ReadNumber(format, pos);
        if (pos < format.size() && format[pos] == '.') {
            ++pos;
            d.hasPrecision = true;
            d.precision = ReadNumber(format, pos);
        }
        if (format.substr(pos, 3) == "I64") pos += 3;
        while (pos < format.size() &&
               (format[pos] == 'h' || format[pos] == 'l' || format[pos] == 'w' ||
                format[pos] == 'L' || format[pos] == 'z' || format[pos] == 'j' ||
                format[pos] == 't')) {
            ++pos;
        }
        if (pos >= format.size()) {
            out += format.substr(start);  // an unfinished directive stays as written
            break;
        }
        d.conversion = format[pos++];
        switch (d.conversion) {
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X':
            case 's':
            case 'S':
            case 'c':
            case 'C':
                break;
            default:
                // Unknown conversions print as their letter, as the platform's
                // own formatter did; they take no argument.
                out += d.conversion;
                continue;
        }
        if (nextArg >= args.size()) continue;
        const FormatArg& arg = args[nextArg++];
        const bool isText = arg.kind() == FormatArg::Kind::kText;
        switch (d.conversion) {
            case 's':
            case 'S':
                if (isText) {
                    AppendText(out, arg.AsText(), d);
                } else {
                    Directive asNumber = d;
                    asNumber.conversion = arg.kind() == FormatArg::Kind::kSigned ? 'd' : 'u';
                    asNumber.hasPrecision = false;
                    AppendNumber(out, arg, asNumber);
                }
                break;
            case 'c':
            case 'C': {
                std::string one;
                if (isText) {
                    std::string first(arg.AsText());
                    CutToCharacters(first, 1);
                    one = first;
                } else {
                    AppendCodePoint(one, UnsignedOf(arg));
                }
                Directive noPrecision = d;
                noPrecision.hasPrecision = false;
                AppendText(out, one, noPrecision);
                break;
            }
            default:
                if (isText) {
                    AppendText(out, arg.AsText(), d);
                } else {
                    AppendNumber(out, arg, d);
                }
                break;
        }
    }
    return out;
}

std::string FormatPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    CutToCharacters(text, kMaxMessageCharacters);
    return text;
}

int ShowText(platform::MessageSink& sink, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    CutToCharacters(text, kMaxMessageCharacters);
    sink.Show(text, platform::kInfoCaption);
    return 1;
}

int ShowWideTextArgs(platform::MessageSink& sink, std::string_view format,
                     std::span<const FormatArg> args) {
    std::string text = FormatArgs(format, args);
    CutToCharacters(text, kMaxMessageCharacters);
    sink.Show(text, platform::kInfoCaption);
    return 1;
}

int ShowStringArgs(platform::MessageSink& sink, const platform::TextSource& texts, int id,
                   std::span<const FormatArg> args) {
    return ShowWideTextArgs(sink, texts.Text(id), args);
}

int FormatWide(std::string& destination, const char* format, ...) {
    va_list args;
    va_start(args, format);
    destination = VFormat(format, args);
    va_end(args);
    CutToCharacters(destination, kMaxMessageCharacters);
    return static_cast<int>(CountCharacters(destination));
}

}  // namespace quillon::text
