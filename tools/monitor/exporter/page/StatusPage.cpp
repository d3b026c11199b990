#include "exporter/page/StatusPage.h"

#include "exporter/page/StatusPageData.h"

namespace {

const char kTelemetryMark[] = "/*TELEMETRY-PATH*/";

}  // namespace

std::string StatusPage(const std::string& telemetryPath) {
    std::string page(reinterpret_cast<const char*>(kStatusPageHtml), kStatusPageHtmlSize);
    const std::string mark = kTelemetryMark;
    for (size_t at = page.find(mark); at != std::string::npos;
         at = page.find(mark, at + telemetryPath.size())) {
        page.replace(at, mark.size(), telemetryPath);
    }
    return page;
}

HttpAnswer StatusPageAnswer(const std::string& page) {
    HttpAnswer answer;
    answer.contentType = "text/html; charset=utf-8";
    answer.body = page;
    answer.fields = {{"Content-Security-Policy", kStatusPagePolicy},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Cache-Control", "no-store"},
                     {"Referrer-Policy", "no-referrer"}};
    return answer;
}
