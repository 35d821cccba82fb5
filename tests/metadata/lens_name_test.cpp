#include "metadata/lens_name.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quillon::metadata {
namespace {

using Words = std::vector<std::string>;

Words WordsOf(std::string_view text) { return SplitLensName(text).words; }

TEST(LensNameWordsTest, WritingsOfOneNameGiveTheSameWords) {
    // Case, punctuation, word order and the spacing between a word and its
    // numbers are how the writers of names differ, not the lenses.
    const Words expected = {"18", "3.5", "5.6", "55", "ef", "is", "s"};
    for (const char* text : {"EF-S18-55mm f/3.5-5.6 IS", "EF-S 18-55mm F3.5-5.6 IS",
                             "ef-s 18-55 MM f/3.50-5.60 is", "IS EF-S 018.0-55.0mm 1:3.5-5.6"}) {
        SCOPED_TRACE(text);
        const LensNameWords split = SplitLensName(text);
        EXPECT_EQ(split.words, expected);
        EXPECT_EQ(split.focalsAndApertures, (Words{"18", "3.5", "5.6", "55"}));
    }
}

TEST(LensNameWordsTest, LettersAndSeparators) {
    // Roman numerals stay words of their own: "II" and "III" are other lenses.
    EXPECT_EQ(WordsOf("M.Zuiko 14-42mm II R"), (Words{"14", "42", "ii", "m", "r", "zuiko"}));
    EXPECT_EQ(WordsOf("EF 50mm f/1.8 III"), (Words{"1.8", "50", "ef", "iii"}));
    // Bytes beyond ASCII (a UTF-8 "×", an en dash, a Latin-1 text) separate.
    EXPECT_EQ(WordsOf("35\xE2\x80\x93"
                      "80mm + 1.4\xC3\x97 ext."),
              (Words{"1.4", "35", "80", "ext"}));
    EXPECT_EQ(WordsOf("Objectif\xE9t"), (Words{"objectif", "t"}));
    // A number is compared as text, so no length is too long.
    EXPECT_EQ(WordsOf(std::string(400, '9')), Words{std::string(400, '9')});
    EXPECT_EQ(WordsOf("--- . / 0.0"), Words{"0"});
    EXPECT_EQ(WordsOf(""), Words{});
}

TEST(LensNameWordsTest, FocalLengthsAndAperturesAreTheMarkedNumbers) {
    struct Case {
        const char* text;
        Words words;
        Words focalsAndApertures;
    };
    const Case cases[] = {
        // The unit and the aperture mark glued together.
        {"XF18-55mmF2.8-4 R LM OIS",
         {"18", "2.8", "4", "55", "lm", "ois", "r", "xf"},
         {"18", "2.8", "4", "55"}},
        // Product codes are words, not measures.
        {"30mm F1.4 DC DN | C 016", {"1.4", "16", "30", "c", "dc", "dn"}, {"1.4", "30"}},
        {"28-75mm F/2.8 Di III RXD A036",
         {"2.8", "28", "36", "75", "a", "di", "iii", "rxd"},
         {"2.8", "28", "75"}},
        // "1:" marks an aperture; a focal length without its unit is a word.
        {"Vario-Elmar T 1:3.5-5.6 / 18-56 ASPH.",
         {"18", "3.5", "5.6", "56", "asph", "elmar", "t", "vario"},
         {"3.5", "5.6"}},
        {"LUMIX G VARIO 14-42/F3.5-5.6 II",
         {"14", "3.5", "42", "5.6", "g", "ii", "lumix", "vario"},
         {"3.5", "5.6"}},
        {"Mitakon wide MC f=24mm 1:2.8", {"2.8", "24", "mc", "mitakon", "wide"}, {"2.8", "24"}},
        {"iPhone 7 back camera 3.99mm f/1.8",
         {"1.8", "3.99", "7", "back", "camera", "iphone"},
         {"1.8", "3.99"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const LensNameWords split = SplitLensName(c.text);
        EXPECT_EQ(split.words, c.words);
        EXPECT_EQ(split.focalsAndApertures, c.focalsAndApertures);
    }
}

TEST(PhotoLensNameTest, CameraTextsFirstAndOnlyTextsWithANumber) {
    LensNames names;
    EXPECT_EQ(PhotoLensNameOf(names).source, LensNameSource::kNone);

    names.xmpLens = "18.0-55.0 mm f/3.5-5.6";
    names.xmpLensModel = "EF-S18-55mm f/3.5-5.6 IS";
    names.makerNoteModel = "EF-S18-55mm f/3.5-5.6 IS";
    names.exifLensModel = "----";  // what some bodies write for no lens
    names.exifLensMake = "Canon";
    const PhotoLensName fromNote = PhotoLensNameOf(names);
    EXPECT_EQ(fromNote.source, LensNameSource::kMakerNote);
    EXPECT_EQ(fromNote.text, "EF-S18-55mm f/3.5-5.6 IS");

    names.exifLensModel = "EF-S18-55mm f/3.5-5.6 IS II";
    EXPECT_EQ(PhotoLensNameOf(names).source, LensNameSource::kExifLensModel);

    names.exifLensModel.clear();
    names.makerNoteModel.clear();
    EXPECT_EQ(PhotoLensNameOf(names).source, LensNameSource::kXmpLensModel);
    names.xmpLensModel = "Unknown";
    EXPECT_EQ(PhotoLensNameOf(names).source, LensNameSource::kXmpLens);
    // The lens maker alone names no lens.
    names.xmpLens.clear();
    EXPECT_EQ(PhotoLensNameOf(names).source, LensNameSource::kNone);
}

}  // namespace
}  // namespace quillon::metadata
