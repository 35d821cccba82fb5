#include "platform/message_sink.h"

#include <cstdio>

namespace quillon::platform {

void StderrSink::Show(std::string_view text, std::string_view caption) {
    std::lock_guard lock(mutex_);
    if (caption != kInfoCaption && !caption.empty()) {
        std::fprintf(stderr, "%.*s: ", static_cast<int>(caption.size()), caption.data());
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}

void CapturingSink::Show(std::string_view text, std::string_view caption) {
    std::lock_guard lock(mutex_);
    messages_.push_back({std::string(text), std::string(caption)});
}

std::vector<CapturedMessage> CapturingSink::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::string CapturingSink::Last() const {
    std::lock_guard lock(mutex_);
    return messages_.empty() ? std::string() : messages_.back().text;
}

std::size_t CapturingSink::Count() const {
    std::lock_guard lock(mutex_);
    return messages_.size();
}

void CapturingSink::Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

}  // namespace quillon::platform
