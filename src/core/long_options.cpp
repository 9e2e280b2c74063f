#include "long_options.h"

#include <algorithm>

namespace chronvane {
namespace {

// Edits (insert, delete, replace, swap two neighbours) that turn a into b.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (std::size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

void ClosestOption::consider(std::string_view candidate, std::string_view dashes) {
    std::size_t distance = editDistance(m_name, candidate);
    if (m_name.size() >= 3 && candidate.starts_with(m_name)) {
        distance = std::min<std::size_t>(distance, 1);
    }
    if (distance < m_bestDistance) {
        m_bestDistance = distance;
        m_best = std::string(dashes) + std::string(candidate);
    }
}

std::string unknownOptionText(std::string_view arg, std::string_view closest) {
    return std::string(arg) + ": unknown option" +
           (closest.empty() ? std::string() : ", did you mean " + std::string(closest) + "?");
}

}  // namespace chronvane
