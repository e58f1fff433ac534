// Edit distance and the suggestion of a likely intended word.
#include "config/word_distance.h"

#include <algorithm>

namespace Valdrin {

namespace {

char folded(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::size_t editDistance(std::string_view a, std::string_view b) {
    // Three rows of the table suffice: a swap looks two rows back.
    const std::size_t n = b.size();
    std::vector<std::size_t> before(n + 1);
    std::vector<std::size_t> previous(n + 1);
    std::vector<std::size_t> current(n + 1);
    for (std::size_t j = 0; j <= n; ++j) previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= n; ++j) {
            const bool same = folded(a[i - 1]) == folded(b[j - 1]);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
            if (i > 1 && j > 1 && folded(a[i - 1]) == folded(b[j - 2]) && folded(a[i - 2]) == folded(b[j - 1])) {
                current[j] = std::min(current[j], before[j - 2] + 1);
            }
        }
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[n];
}

std::vector<std::string_view> nearWords(std::string_view written, std::span<const std::string_view> candidates) {
    std::vector<std::string_view> nearest;
    std::size_t best = 0;
    for (std::string_view candidate : candidates) {
        const std::size_t allowed = std::clamp<std::size_t>(candidate.size() / 3, 1, 3);
        // Words whose lengths differ by more than the allowed edits cannot be near; skipping them
        // keeps a huge written word from costing a distance computation per candidate.
        const std::size_t gap = written.size() > candidate.size() ? written.size() - candidate.size()
                                                                   : candidate.size() - written.size();
        if (gap > allowed) continue;
        const std::size_t distance = editDistance(written, candidate);
        if (distance > allowed) continue;
        if (nearest.empty() || distance < best) {
            nearest.assign(1, candidate);
            best = distance;
        } else if (distance == best) {
            nearest.push_back(candidate);
        }
    }
    return nearest;
}

std::string didYouMean(std::string_view written, std::span<const std::string_view> candidates) {
    const std::vector<std::string_view> near = nearWords(written, candidates);
    if (near.empty()) return {};
    std::string text = " (did you mean ";
    for (std::size_t i = 0; i < near.size(); ++i) {
        if (i > 0) text += (i + 1 == near.size()) ? " or " : ", ";
        text.append("\"").append(near[i]).append("\"");
    }
    return text + "?)";
}

std::string joinWords(std::span<const std::string_view> words) {
    std::string text;
    for (std::string_view word : words) {
        if (!text.empty()) text += ", ";
        text += word;
    }
    return text;
}

}  // namespace Valdrin
