#include "fax/log/ReportFacts.h"

#include "fax/FirstPage.h"

#include <algorithm>
#include <ctime>

namespace qp::faxlog {
namespace {

// Page 1 is reduced to about 200 dots per inch on the report's box; finer would only make the
// report larger.
constexpr int kFirstPageWidth = 640;
constexpr int kFirstPageHeight = 900;
constexpr const char* kNoAnswer =
    "None: the fax server closed the connection once it had the whole fax.";

std::string LocalTime(std::int64_t seconds) {
    const auto time = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&time, &local);
    char text[64];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local) ? text : "";
}

std::string StatusText(Outcome outcome) {
    std::string text = OutcomeText(outcome);
    if (!text.empty())
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// "Fine (204x196)": a resolution as the send dialog names it.
std::string ResolutionText(Resolution resolution) {
    const ConversionParams params = ChooseConversionParams(resolution, false);
    const char* name = resolution == Resolution::Normal ? "Normal"
                       : resolution == Resolution::High ? "High"
                                                        : "Fine";
    return std::string(name) + " (" + std::to_string(params.xDpi) + "x" +
           std::to_string(params.yDpi) + ")";
}

} // namespace

TransmissionFacts ReportFactsFor(const Record& record, const std::string& imagePath) {
    TransmissionFacts facts;
    facts.when = LocalTime(record.time);
    facts.status = StatusText(record.outcome);
    facts.toName = record.typed;
    facts.toNumber = record.dialled;
    facts.pages = record.pages;
    facts.resolution = ResolutionText(record.resolution);
    // Entries of quillpost-send, and of releases before tries were counted, say none.
    facts.tries = std::max(record.tries, 1);
    // A fax not confirmed has no words of the server: what the user was told stands for them.
    if (!record.answer.empty())
        facts.answer = record.answer;
    else if (record.outcome == Outcome::NotConfirmed)
        facts.answer = record.message;
    else
        facts.answer = kNoAnswer;
    facts.firstPage = ReducedFirstPage(imagePath, kFirstPageWidth, kFirstPageHeight);
    return facts;
}

} // namespace qp::faxlog
