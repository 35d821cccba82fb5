#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/message_sink.h"
#include "platform/text_source.h"

// The message functions: every message to the user is formatted here and shown
// through the MessageSink with the caption "Info". Each returns 1 so that a
// caller can return the message function's result as its own failure result.
//
// Two kinds of formats exist. Internal formats written in the code ("allocMem
// error 1: out of memory", "Unable to open file %s") use printf rules and are
// checked by the compiler. The interface texts come from translation files, so
// their directives are applied by a small formatter that knows the type of
// every argument: a translation with a wrong or extra directive gives a wrong
// text, never a crash.

namespace quillon::text {

// Longer messages are cut to this many characters (never inside a character).
inline constexpr std::size_t kMaxMessageCharacters = 255;

// Cuts `text` after `maxCharacters` UTF-8 characters.
void CutToCharacters(std::string& text, std::size_t maxCharacters);
// Number of UTF-8 characters in `text`.
std::size_t CountCharacters(std::string_view text);

// One argument of an interface-text format: an integer or a UTF-8 string.
class FormatArg {
  public:
    template <std::integral T>
    FormatArg(T value)  // NOLINT(google-explicit-constructor): arguments read like printf's
        : kind_(std::is_signed_v<T> ? Kind::kSigned : Kind::kUnsigned),
          signed_(static_cast<std::int64_t>(value)),
          unsigned_(static_cast<std::uint64_t>(value)) {}
    FormatArg(std::string_view text) : kind_(Kind::kText), text_(text) {}  // NOLINT
    FormatArg(const char* text)                                            // NOLINT
        : kind_(Kind::kText), text_(text == nullptr ? std::string_view("(null)") : text) {}
    FormatArg(const std::string& text) : kind_(Kind::kText), text_(text) {}  // NOLINT

    enum class Kind { kSigned, kUnsigned, kText };
    Kind kind() const { return kind_; }
    std::int64_t AsSigned() const { return signed_; }
    std::uint64_t AsUnsigned() const { return unsigned_; }
    std::string_view AsText() const { return text_; }

  private:
    Kind kind_;
    std::int64_t signed_ = 0;
    std::uint64_t unsigned_ = 0;
    std::string_view text_;
};

// Applies the directives of an interface text: %s, %d, %i, %u, %x, %X, %c and
// %%, with the flags '-', '0', '#', a width and a precision; length modifiers
// (h, l, ll, I64) are accepted and ignored because every argument carries its
// own type. A missing argument produces nothing; an argument of the other kind
// is shown in its own form. The result is not cut.
std::string FormatArgs(std::string_view format, std::span<const FormatArg> args);

template <typename... Args>
std::string FormatText(std::string_view format, const Args&... args) {
    const std::array<FormatArg, sizeof...(Args)> list = {FormatArg(args)...};
    return FormatArgs(format, list);
}

// printf-style formatting of an internal text, cut to 255 characters.
std::string FormatPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

int ShowText(platform::MessageSink& sink, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

int ShowWideTextArgs(platform::MessageSink& sink, std::string_view format,
                     std::span<const FormatArg> args);
template <typename... Args>
int ShowWideText(platform::MessageSink& sink, std::string_view format, const Args&... args) {
    const std::array<FormatArg, sizeof...(Args)> list = {FormatArg(args)...};
    return ShowWideTextArgs(sink, format, list);
}

// The text of string `id` is the format.
int ShowStringArgs(platform::MessageSink& sink, const platform::TextSource& texts, int id,
                   std::span<const FormatArg> args);
template <typename... Args>
int ShowString(platform::MessageSink& sink, const platform::TextSource& texts, int id,
               const Args&... args) {
    const std::array<FormatArg, sizeof...(Args)> list = {FormatArg(args)...};
    return ShowStringArgs(sink, texts, id, list);
}

// Formats with printf rules into `destination` (cut to 255 characters), for
// numbers and file names in control texts; returns the number of characters
// placed in `destination`.
int FormatWide(std::string& destination, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace quillon::text
