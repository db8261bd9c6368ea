#include "update/HttpFetch.h"

#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <utility>

namespace qp {
namespace {

thread_local const std::atomic<bool>* t_cancel = nullptr;

struct Transfer {
    const HttpBodySink* sink;
    const HttpProgress* progress;
    std::uint64_t maxBytes;
    std::uint64_t received = 0;
    bool tooLarge = false;
    bool refused = false; // by the sink
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    transfer->received += bytes;
    // curl treats a short write as an error and stops.
    if (transfer->maxBytes != 0 && transfer->received > transfer->maxBytes) {
        transfer->tooLarge = true;
        return 0;
    }
    if (!(*transfer->sink)(std::string_view(data, bytes))) {
        transfer->refused = true;
        return 0;
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

// The words for a status; the server's own reason phrase is not shown, as the server may say
// anything there.
std::string StatusReason(long status) {
    static constexpr std::pair<long, const char*> kPhrases[] = {
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {410, "Gone"},
        {500, "Internal Server Error"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    };
    std::string reason = "the server answered " + std::to_string(status);
    for (const auto& [code, phrase] : kPhrases) {
        if (code == status)
            return reason + " " + phrase;
    }
    return reason;
}

std::string TransferReason(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "the server's name is not known";
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return "the server cannot be reached";
    case CURLE_OPERATION_TIMEDOUT:
        return "the server did not answer in time";
    case CURLE_ABORTED_BY_CALLBACK:
        return "the fetch was called off";
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
        return "the connection broke off";
    default:
        return std::string("the transfer failed (") + curl_easy_strerror(code) + ")";
    }
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

FetchOutcome HttpGet(const std::string& url, const HttpBodySink& sink, const HttpProgress& progress,
                     std::uint64_t maxBytes, long timeoutSeconds) {
    InitCurlOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        return FetchOutcome::Failed("no connection could be set up");
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
    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (transfer.tooLarge)
        return FetchOutcome::Failed("the server sent more than " + std::to_string(maxBytes) +
                                    " bytes");
    if (transfer.refused)
        return FetchOutcome::Failed("what arrived could not be stored");
    if (code == CURLE_HTTP_RETURNED_ERROR || (code == CURLE_OK && (status < 200 || status >= 300)))
        return FetchOutcome::Failed(StatusReason(status));
    if (code != CURLE_OK)
        return FetchOutcome::Failed(TransferReason(code));
    return FetchOutcome::Done();
}

FetchOutcome HttpGetText(const std::string& url, std::string& body, std::uint64_t maxBytes) {
    std::string text;
    FetchOutcome outcome = HttpGet(
        url,
        [&text](std::string_view block) {
            text.append(block);
            return true;
        },
        {}, maxBytes, kHttpTextTimeoutSeconds);
    if (outcome)
        body = std::move(text);
    return outcome;
}

std::string UpdateUrl(const std::string& host, const std::string& name) {
    return "http://" + host + "/" + name;
}

} // namespace qp
