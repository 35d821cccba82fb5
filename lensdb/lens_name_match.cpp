#include "lensdb/lens_name_match.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace quillon::lensdb {
namespace {

using Words = std::vector<std::string>;

bool Contains(const Words& sorted, const std::string& word) {
    return std::binary_search(sorted.begin(), sorted.end(), word);
}

// The letter words of the texts that name a maker; numbers never do.
Words MakerWords(const metadata::ShotInfo& shot, const CameraEntry& camera) {
    Words makers;
    for (std::string_view text : {std::string_view(shot.make), std::string_view(camera.menuMake),
                                  std::string_view(shot.lensNames.exifLensMake)}) {
        for (std::string& word : metadata::SplitLensName(text).words) {
            if (!metadata::IsNumberWord(word)) makers.push_back(std::move(word));
        }
    }
    std::sort(makers.begin(), makers.end());
    return makers;
}

Words WithoutMakers(Words words, const Words& makers) {
    std::erase_if(words, [&](const std::string& w) { return Contains(makers, w); });
    return words;
}

// The photo's name as it is compared: its words without the maker's, and of
// them the focal lengths and apertures, which a lens must all have.
struct PhotoWords {
    Words words;
    Words required;
    int others = 0;  // words that are not required
};

LensNameScore Score(const PhotoWords& photo, LensEntry& lens, const Words& makers) {
    const Words own = WithoutMakers(metadata::SplitLensName(lens.menuLens).words, makers);
    LensNameScore score;
    score.lens = &lens;
    score.focalsAndAperturesAgree = true;
    int matchedOthers = 0;
    for (const std::string& word : photo.words) {
        const bool found = Contains(own, word);
        if (found) ++score.matched;
        if (Contains(photo.required, word)) {
            score.focalsAndAperturesAgree = score.focalsAndAperturesAgree && found;
        } else if (found) {
            ++matchedOthers;
        }
    }
    score.extra = static_cast<int>(own.size()) - score.matched;
    score.fits = score.focalsAndAperturesAgree && 2 * matchedOthers > photo.others;
    return score;
}

// Whether `a` is the better fit of two fitting lenses.
bool Ahead(const LensNameScore& a, const LensNameScore& b) {
    if (a.matched != b.matched) return a.matched > b.matched;
    return a.extra < b.extra;
}

}  // namespace

LensNameComparison CompareLensNames(const metadata::ShotInfo& shot, const CameraEntry& camera,
                                    LensEntry* firstListed) {
    LensNameComparison result;
    const metadata::PhotoLensName name = metadata::PhotoLensNameOf(shot.lensNames);
    result.source = name.source;
    result.photoName = std::string(name.text);
    if (name.source == metadata::LensNameSource::kNone) {
        result.outcome = LensNameOutcome::kNoName;
        return result;
    }
    const Words makers = MakerWords(shot, camera);
    const metadata::LensNameWords split = metadata::SplitLensName(name.text);
    PhotoWords photo;
    photo.words = WithoutMakers(split.words, makers);
    photo.required = split.focalsAndApertures;
    photo.others = static_cast<int>(photo.words.size() - photo.required.size());
    result.photoWords = static_cast<int>(photo.words.size());

    for (LensEntry* lens = firstListed; lens != nullptr; lens = lens->menuNext) {
        const bool named =
            std::any_of(result.scores.begin(), result.scores.end(), [&](const LensNameScore& s) {
                return std::strcmp(s.lens->menuLens, lens->menuLens) == 0;
            });
        if (!named) result.scores.push_back(Score(photo, *lens, makers));
    }
    if (photo.others == 0) {
        result.outcome = LensNameOutcome::kNumbersOnly;
        return result;
    }

    const LensNameScore* top = nullptr;
    for (const LensNameScore& score : result.scores) {
        if (score.fits && (top == nullptr || Ahead(score, *top))) top = &score;
    }
    if (top == nullptr) {
        result.outcome = LensNameOutcome::kNoFit;
        return result;
    }
    int level = 0;
    for (LensNameScore& score : result.scores) {
        score.best = score.fits && !Ahead(*top, score);
        if (score.best) ++level;
    }
    if (level > 1) {
        result.outcome = LensNameOutcome::kTie;
    } else {
        result.outcome = LensNameOutcome::kChosen;
        result.chosen = top->lens;
    }
    return result;
}

}  // namespace quillon::lensdb
