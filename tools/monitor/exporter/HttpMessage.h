// A request's head as the exporter's pages see it, and the answer they give,
// with its one-piece wire form. No networking here.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct HttpRequest {
    std::string method;  // as sent: "GET", "HEAD", anything else
    std::string target;  // path and query, as sent
    int version = 11;    // 10 or 11
    std::vector<std::pair<std::string, std::string>> fields;  // bounded by HttpLimits

    // The path without its query.
    std::string Path() const { return target.substr(0, target.find('?')); }
    // The first field of that name (matched without regard to case), or "".
    std::string Field(const std::string& name) const;
};

struct HttpAnswer {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> fields;  // beyond the standard ones
    bool close = false;  // end the connection after it, whatever the client asked
};

// A plain-text answer with the status's own reason as its body.
HttpAnswer StatusAnswer(int status);

// The status line, fields and body in one string, so that they leave in one
// write. `bodiless` for a HEAD (the length is still the body's); `close`
// announces that the connection ends after it; `version` the request's.
std::string SerialiseAnswer(const HttpAnswer& answer, bool bodiless, bool close, int version);
