#pragma once
// The general exception class of the bridge: a failure with a fixed message
// text, caught at the boundary of a command.

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};
