#include "cover/PpdPageLayout.h"

#include "platform/TextLines.h"

#include <array>
#include <charconv>
#include <cmath>
#include <map>

namespace qp {
namespace {

// A PDF page may be at most 200 inches on a side.
constexpr double kMaxPagePoints = 14400;
constexpr int kMinDpi = 72;
constexpr int kMaxDpi = 2400;
constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// One "*Keyword Option/Translation: value" line; comments and lines without a colon are none.
struct Entry {
    std::string_view keyword;
    std::string_view option;
    std::string_view value;
};

std::optional<Entry> ReadEntry(std::string_view line) {
    if (line.size() < 2 || line[0] != '*' || line[1] == '%')
        return std::nullopt;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view head = line.substr(1, colon - 1);
    const std::size_t blank = head.find_first_of(kBlanks);
    Entry entry{head.substr(0, blank), {}, Trim(line.substr(colon + 1))};
    if (blank != std::string_view::npos) {
        const std::string_view option = Trim(head.substr(blank));
        entry.option = option.substr(0, option.find('/'));
    }
    if (entry.keyword.empty())
        return std::nullopt;
    return entry;
}

// A quoted value that does not close on its own line goes on until a line with the closing quote.
bool OpensMultiLineQuote(std::string_view value) {
    return !value.empty() && value.front() == '"' && value.find('"', 1) == std::string_view::npos;
}

// Exactly N finite numbers, blank-separated, inside quotes.
template <std::size_t N> std::optional<std::array<double, N>> Numbers(std::string_view value) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"')
        return std::nullopt;
    std::string_view rest = value.substr(1, value.size() - 2);
    std::array<double, N> numbers{};
    for (double& number : numbers) {
        rest = Trim(rest);
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
        if (error != std::errc() || !std::isfinite(number))
            return std::nullopt;
        rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
        if (!rest.empty() && kBlanks.find(rest.front()) == std::string_view::npos)
            return std::nullopt;
    }
    if (!Trim(rest).empty())
        return std::nullopt;
    return numbers;
}

std::optional<int> WholeNumber(std::string_view text) {
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return number;
}

// "600dpi", or "600x600dpi" with the same resolution both ways.
std::optional<int> Dpi(std::string_view value) {
    constexpr std::string_view kUnit = "dpi";
    if (!value.ends_with(kUnit))
        return std::nullopt;
    value.remove_suffix(kUnit.size());
    const std::size_t by = value.find('x');
    const std::optional<int> across = WholeNumber(value.substr(0, by));
    const std::optional<int> down =
        by == std::string_view::npos ? across : WholeNumber(value.substr(by + 1));
    if (!across || across != down || *across < kMinDpi || *across > kMaxDpi)
        return std::nullopt;
    return across;
}

bool MakesAPage(const PpdPageLayout& page) {
    return page.width > 0 && page.width <= kMaxPagePoints && page.height > 0 &&
           page.height <= kMaxPagePoints && page.left >= 0 && page.left < page.right &&
           page.right <= page.width && page.bottom >= 0 && page.bottom < page.top &&
           page.top <= page.height;
}

} // namespace

std::optional<PpdPageLayout> PageLayoutFromPpd(std::string_view ppd) {
    if (ppd.size() > kMaxPpdBytes)
        return std::nullopt;
    std::optional<std::string_view> defaultSize;
    std::optional<int> dpi;
    std::map<std::string_view, std::array<double, 2>> dimensions;
    std::map<std::string_view, std::array<double, 4>> areas;
    bool inQuote = false;
    for (const std::string_view line : SplitAtLineFeeds(ppd)) {
        if (inQuote) {
            inQuote = line.find('"') == std::string_view::npos;
            continue;
        }
        const std::optional<Entry> entry = ReadEntry(line);
        if (!entry)
            continue;
        inQuote = OpensMultiLineQuote(entry->value);
        if (entry->keyword == "DefaultPageSize" && !defaultSize && !entry->value.empty() &&
            entry->value.find_first_of(" \t\"") == std::string_view::npos) {
            defaultSize = entry->value;
        } else if (entry->keyword == "DefaultResolution" && !dpi) {
            dpi = Dpi(entry->value);
        } else if (entry->keyword == "PaperDimension" && !entry->option.empty()) {
            if (const auto numbers = Numbers<2>(entry->value))
                dimensions.emplace(entry->option, *numbers);
        } else if (entry->keyword == "ImageableArea" && !entry->option.empty()) {
            if (const auto numbers = Numbers<4>(entry->value))
                areas.emplace(entry->option, *numbers);
        }
    }
    if (!defaultSize)
        return std::nullopt;
    const auto dimension = dimensions.find(*defaultSize);
    const auto area = areas.find(*defaultSize);
    if (dimension == dimensions.end() || area == areas.end())
        return std::nullopt;
    PpdPageLayout page;
    page.pageSize = std::string(*defaultSize);
    page.width = dimension->second[0];
    page.height = dimension->second[1];
    page.left = area->second[0];
    page.bottom = area->second[1];
    page.right = area->second[2];
    page.top = area->second[3];
    page.dpi = dpi.value_or(page.dpi);
    if (!MakesAPage(page))
        return std::nullopt;
    return page;
}

PpdPageLayout FallbackPageLayout() {
    constexpr double kQuarterInch = 18;
    return PpdPageLayout{
        "Letter", 612, 792, kQuarterInch, kQuarterInch, 612 - kQuarterInch, 792 - kQuarterInch};
}

const PpdPageLayout& DriverPageLayout() {
    static const PpdPageLayout layout =
        PageLayoutFromPpd(DriverPpdText()).value_or(FallbackPageLayout());
    return layout;
}

} // namespace qp
