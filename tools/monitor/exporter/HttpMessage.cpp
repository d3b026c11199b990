#include "exporter/HttpMessage.h"

#include <cctype>

namespace {

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Content Too Large";
        case 414:
            return "URI Too Long";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string HttpRequest::Field(const std::string& name) const {
    for (const auto& field : fields) {
        if (SameName(field.first, name)) {
            return field.second;
        }
    }
    return "";
}

HttpAnswer StatusAnswer(int status) {
    HttpAnswer answer;
    answer.status = status;
    answer.contentType = "text/plain; charset=utf-8";
    answer.body = std::string(Reason(status)) + "\n";
    return answer;
}

std::string SerialiseAnswer(const HttpAnswer& answer, bool bodiless, bool close, int version) {
    std::string text = "HTTP/1.1 " + std::to_string(answer.status) + " " + Reason(answer.status) +
                       "\r\nContent-Type: " + answer.contentType +
                       "\r\nContent-Length: " + std::to_string(answer.body.size()) + "\r\n";
    for (const auto& field : answer.fields) {
        text += field.first + ": " + field.second + "\r\n";
    }
    if (close) {
        text += "Connection: close\r\n";
    } else if (version == 10) {
        text += "Connection: keep-alive\r\n";  // an HTTP/1.0 client closes unless told
    }
    text += "\r\n";
    if (!bodiless) {
        text += answer.body;
    }
    return text;
}
