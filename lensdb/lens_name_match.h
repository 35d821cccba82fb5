#pragma once

#include <string>
#include <vector>

#include "lensdb/lens_database.h"
#include "metadata/lens_name.h"
#include "metadata/shot_info.h"

// Choosing a lens by its own name, when the focal range and apertures of the
// photo leave several lenses in the Lens menu and the lens history had no
// answer.
//
// About comparing lens names
//
// The photo's name (PhotoLensNameOf) and the database's menu names are written
// by different hands: "EF-S18-55mm f/3.5-5.6 IS" against "Canon EF-S 18-55mm
// f/3.5-5.6 IS", "OLYMPUS M.14-42mm F3.5-5.6 II R" against "Olympus M.Zuiko
// Digital ED 14-42mm f/3.5-5.6 II R". So names are compared as sets of words
// (SplitLensName: case, punctuation, word order and the spacing between a word
// and its numbers do not count), after leaving out the maker's words on both
// sides: the words of the camera's make, of its Make menu name and of the
// photo's LensMake, which one side may repeat and the other leave out.
//
// For each distinct name of the Lens menu:
// - the focal lengths and apertures the photo's name writes must all be in
//   it: a lens without one of them is another lens, however alike the rest
//   ("f/4-5.6" is not the "f/3.5-5.6" kit);
// - matched counts the photo's words it has, extra the words it has that the
//   photo's name does not give;
// - it fits when those numbers agree and it has more than half of the photo's
//   other words. A name of nothing but focal lengths and apertures ("18.0-55.0
//   mm f/3.5-5.6", made by software from the lens data) says nothing that the
//   focal ranges did not already compare, so it fits no lens.
//
// The fitting lens with the most matched words is chosen; between equally many,
// the one with fewer extra words: "EF-S18-55mm f/3.5-5.6 IS" chooses "... IS"
// over "... IS II" and "... IS STM", which differ from it only by a word the
// photo does not give. A choice is thus always ahead of every other lens by at
// least one whole word. Undecided, "Select Lens" stays:
// - the best are level in both counts: "EF-S18-55mm f/3.5-5.6 IS" against
//   "... IS II" and "... IS STM", or "EF-S18-55mm f/3.5-5.6" against "... II"
//   and "... IS" (each adds one word the photo does not give);
// - nothing fits (the photo's lens is not in the list), the name is focal
//   lengths and apertures only, or the photo gives no name.
// Lenses listed under one name (the same lens in two groups) count once, and the
// first of them is the one chosen, as when the user picks that menu line.

namespace quillon::lensdb {

// How one listed name compares with the photo's name.
struct LensNameScore {
    LensEntry* lens = nullptr;             // the first listed lens of this name
    bool focalsAndAperturesAgree = false;  // it has the photo's focal lengths and apertures
    int matched = 0;                       // words of the photo's name it has
    int extra = 0;                         // its words that the photo's name does not give
    bool fits = false;
    bool best = false;  // it fits and no other fitting lens is ahead of it
};

enum class LensNameOutcome {
    kNotCompared,  // a lens was chosen before, or the menu has nothing to choose between
    kNoName,       // the photo gives no lens name
    kNumbersOnly,  // the name has no words beside the maker's, focal lengths and apertures
    kNoFit,        // no listed lens fits the name
    kTie,          // the best fitting lenses are level
    kChosen,
};

struct LensNameComparison {
    LensNameOutcome outcome = LensNameOutcome::kNotCompared;
    std::string photoName;  // the text compared, as the photo gives it
    metadata::LensNameSource source = metadata::LensNameSource::kNone;
    int photoWords = 0;                 // its words, the maker's left out
    std::vector<LensNameScore> scores;  // one per distinct name, in menu order
    LensEntry* chosen = nullptr;        // set for kChosen
};

// Compares the photo's lens name with the lenses of a menu list, starting at
// `firstListed` and linked by menuNext, for a photo taken with `camera`. The
// scores point at the listed lenses so that the chosen one can be selected.
LensNameComparison CompareLensNames(const metadata::ShotInfo& shot, const CameraEntry& camera,
                                    LensEntry* firstListed);

}  // namespace quillon::lensdb
