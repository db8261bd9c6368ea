#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace qp {

// Where the body of a response goes, block by block; false stops the transfer as a failure.
using HttpBodySink = std::function<bool(std::string_view block)>;
// Called while a transfer runs, also when no byte arrives: bytes so far and the announced total
// (0 when the server announced none).
using HttpProgress = std::function<void(std::uint64_t received, std::uint64_t total)>;

// Limits that keep a slow, stalled or hostile server from holding the client.
inline constexpr long kHttpConnectTimeoutSeconds = 30;
inline constexpr long kHttpMaxRedirects = 5;
// A transfer slower than this many bytes a second for kHttpLowSpeedSeconds is given up; a server
// that trickles a byte now and then must not hold a fetch for days.
inline constexpr long kHttpLowSpeedBytesPerSecond = 1024;
inline constexpr long kHttpLowSpeedSeconds = 60;
// The whole fetch of a small text such as the manifest, connection included.
inline constexpr long kHttpTextTimeoutSeconds = 120;
inline constexpr const char* kHttpUserAgent = "Quillpost";

// How a fetch ended: whole, or why not, in words that a message to the user can carry.
struct FetchOutcome {
    bool ok = false;
    std::string reason; // empty when ok

    static FetchOutcome Done() { return {true, {}}; }
    static FetchOutcome Failed(std::string why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

// One HTTP GET with libcurl: proxy settings from the environment, redirects followed (http and
// https only). Done only when the whole body arrived with a success status; an error status (404,
// 500) is a failed fetch, never content. `maxBytes` of 0 sets no size limit, `timeoutSeconds` of 0
// no limit to the whole fetch's time.
FetchOutcome HttpGet(const std::string& url, const HttpBodySink& sink,
                     const HttpProgress& progress = {}, std::uint64_t maxBytes = 0,
                     long timeoutSeconds = 0);

// While it lives, fetches on this thread stop, as failures, soon after `cancel` turns true.
class CancelFetchesWhen {
public:
    explicit CancelFetchesWhen(const std::atomic<bool>& cancel);
    ~CancelFetchesWhen();
    CancelFetchesWhen(const CancelFetchesWhen&) = delete;
    CancelFetchesWhen& operator=(const CancelFetchesWhen&) = delete;

private:
    const std::atomic<bool>* m_previous;
};

// The whole body, for small texts such as the manifest, within kHttpTextTimeoutSeconds; `body`
// is left alone on any failure.
FetchOutcome HttpGetText(const std::string& url, std::string& body, std::uint64_t maxBytes);

// "http://" + host + "/" + name, the name unchanged.
std::string UpdateUrl(const std::string& host, const std::string& name);

} // namespace qp
