#include "update/HttpFetch.h"

#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace qp {
namespace {

thread_local const std::atomic<bool>* t_cancel = nullptr;

struct Transfer {
    const HttpBodySink* sink;
    const HttpProgress* progress;
    std::uint64_t maxBytes;
    std::uint64_t received = 0;
    bool refused = false;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    transfer->received += bytes;
    if ((transfer->maxBytes != 0 && transfer->received > transfer->maxBytes) ||
        !(*transfer->sink)(std::string_view(data, bytes))) {
        transfer->refused = true;
        return 0; // curl treats a short write as an error and stops
    }
    return bytes;
}

int ReportProgress(void* user, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    if (t_cancel != nullptr && *t_cancel)
        return 1; // curl ends the transfer as aborted
    if (*transfer->progress)
        (*transfer->progress)(static_cast<std::uint64_t>(received),
                              static_cast<std::uint64_t>(total));
    return 0;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

} // namespace

CancelFetchesWhen::CancelFetchesWhen(const std::atomic<bool>& cancel) : m_previous(t_cancel) {
    t_cancel = &cancel;
}

CancelFetchesWhen::~CancelFetchesWhen() {
    t_cancel = m_previous;
}

bool HttpGet(const std::string& url, const HttpBodySink& sink, const HttpProgress& progress,
             std::uint64_t maxBytes, long timeoutSeconds) {
    InitCurlOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        return false;
    Transfer transfer{&sink, &progress, maxBytes};
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, kHttpUserAgent);
    // A redirect must not lead to file:// or any other scheme that reads local things.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kHttpMaxRedirects);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kHttpConnectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, kHttpLowSpeedBytesPerSecond);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kHttpLowSpeedSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, timeoutSeconds);
    // Worker threads: no signals for DNS time-outs.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, ReportProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    if (curl_easy_perform(h) != CURLE_OK || transfer.refused)
        return false;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    return status >= 200 && status < 300;
}

bool HttpGetText(const std::string& url, std::string& body, std::uint64_t maxBytes) {
    std::string text;
    const bool ok = HttpGet(
        url,
        [&text](std::string_view block) {
            text.append(block);
            return true;
        },
        {}, maxBytes, kHttpTextTimeoutSeconds);
    if (ok)
        body = std::move(text);
    return ok;
}

std::string UpdateUrl(const std::string& host, const std::string& name) {
    return "http://" + host + "/" + name;
}

} // namespace qp
