#include "capture/CupsPrintServer.h"

#include <cups/cups.h>

#include <memory>

namespace qp {

namespace {

struct IppDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppResponse = std::unique_ptr<ipp_t, IppDeleter>;

// The "successful-ok" family ends below the client errors.
bool Succeeded(ipp_status_t status) {
    return status < IPP_STATUS_REDIRECTION_OTHER_SITE;
}

// The status of a request that got no answer or a failing one; never 0 for a failure.
int FailureOf(const ipp_t* response, ipp_status_t status) {
    if (response != nullptr && Succeeded(status))
        return 0;
    return Succeeded(status) ? static_cast<int>(IPP_STATUS_ERROR_INTERNAL)
                             : static_cast<int>(status);
}

std::string QueueUri(const std::string& name) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", 0,
                     "/printers/%s", name.c_str());
    return uri;
}

ipp_t* NewQueueRequest(ipp_op_t operation, const std::string& name) {
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 QueueUri(name).c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    return request;
}

const char* StringOf(ipp_attribute_t* attr) {
    const char* text = ippGetString(attr, 0, nullptr);
    return text != nullptr ? text : "";
}

} // namespace

int CupsPrintServer::ListQueues(std::vector<PrintQueue>& queues) {
    queues.clear();
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    static const char* const kWanted[] = {"printer-name", "device-uri"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                  kWanted);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    IppResponse response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
    const ipp_status_t status = cupsLastError();
    // A server without any queue answers "not found"; that is an empty list, not a failure.
    if (status == IPP_STATUS_ERROR_NOT_FOUND)
        return 0;
    if (const int failure = FailureOf(response.get(), status))
        return failure;

    PrintQueue current;
    bool inQueue = false;
    auto finish = [&] {
        if (inQueue && !current.name.empty())
            queues.push_back(current);
        current = PrintQueue{};
        inQueue = false;
    };
    for (ipp_attribute_t* attr = ippFirstAttribute(response.get()); attr != nullptr;
         attr = ippNextAttribute(response.get())) {
        const char* name = ippGetName(attr);
        // Each queue is one printer group; a nameless separator or another group ends it.
        if (name == nullptr || ippGetGroupTag(attr) != IPP_TAG_PRINTER) {
            finish();
            continue;
        }
        inQueue = true;
        const std::string attrName = name;
        if (attrName == "printer-name")
            current.name = StringOf(attr);
        else if (attrName == "device-uri")
            current.deviceUri = StringOf(attr);
    }
    finish();
    return 0;
}

bool CupsPrintServer::QueueExists(const std::string& name) {
    ipp_t* request = NewQueueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, name);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-name");
    IppResponse response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
    return response && Succeeded(cupsLastError());
}

int CupsPrintServer::DeleteQueue(const std::string& name) {
    ipp_t* request = NewQueueRequest(IPP_OP_CUPS_DELETE_PRINTER, name);
    IppResponse response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/admin/"));
    return FailureOf(response.get(), cupsLastError());
}

int CupsPrintServer::AddQueue(const NewPrintQueue& queue) {
    ipp_t* request = NewQueueRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, queue.name);
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr,
                 queue.deviceUri.c_str());
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr,
                 queue.info.c_str());
    ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
    ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    // Jobs from other machines would belong to nobody here, so the queue stays local.
    ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-shared", 0);
    if (!queue.opPolicy.empty())
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-op-policy", nullptr,
                     queue.opPolicy.c_str());
    IppResponse response(
        cupsDoFileRequest(CUPS_HTTP_DEFAULT, request, "/admin/", queue.ppdPath.c_str()));
    return FailureOf(response.get(), cupsLastError());
}

PrintServer& DefaultPrintServer() {
    static CupsPrintServer server;
    return server;
}

bool CupsSchedulerReachable() {
    // A scheduler that accepts no connection within this time counts as not running.
    constexpr int kConnectTimeoutMs = 5000;
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                kConnectTimeoutMs, nullptr);
    if (http == nullptr)
        return false;
    httpClose(http);
    return true;
}

} // namespace qp
