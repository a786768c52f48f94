#pragma once

// JSON string quoting for the test programs that report to the Python side.

#include <cstdio>
#include <string>

inline std::string Json(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// A string the driver may not have returned: null stays null.
inline std::string Json(const char* text)
{
    return text == nullptr ? "null" : Json(std::string(text));
}
