// What an operation that can fail tells its caller: success, or why not in
// words for the user.
#pragma once

#include <string>
#include <utility>

namespace j3 {

struct Result {
    bool ok = true;
    std::string message;  // UTF-8, for the user; empty on success

    explicit operator bool() const { return ok; }
};

inline Result failure(std::string message) {
    return Result{false, std::move(message)};
}

}  // namespace j3
