// What the host reads before it ever calls the plug-in: where the filter goes
// in its menu, for which documents it is enabled, how transparent areas are
// prepared, and the names scripts use for its parameters. Hosts read these
// values as they are, so they never change between versions.

#include <cstddef>
#include <cstdint>

#include "plugin/host_api.h"

#define QUILLON_EXPORT __attribute__((visibility("default")))

namespace {

constexpr std::int32_t kResourceId = 16000;
constexpr FilterKey kScriptClass = FILTER_KEY('s', 'd', 'k', '1');

constexpr FilterKey kKind = FILTER_KIND_FILTER;
constexpr char kName[] = "\x07Quillon";
constexpr char kCategory[] = "\x07Velmora";
constexpr std::uint32_t kInterfaceVersion = 0x00040000;  // 4.0
constexpr char kEntryPoint[] = FILTER_ENTRY_POINT_NAME;
constexpr std::uint8_t kModes[2] = {FILTER_MODE_RGB_FLAG, 0x00};
constexpr FilterTerminologyLink kTerminologyLink = {0, kScriptClass, kScriptClass, kResourceId,
                                                    "DE0C4BBE-44FA-4c38-84B5-B897E416934A"};
constexpr char kEnabledWhen[] =
    "in (HOST_ImageMode, RGBMode, RGB48Mode) && (HOST_ImageDepth == 8 || HOST_ImageDepth == 16)";
constexpr FilterPoint32 kLargestImage = {2000000, 2000000};
constexpr std::uint32_t kFilterLayer = 0x80000000u;

constexpr std::uint8_t kWithoutSelection =
    FILTER_CASE_WORKS_WITH_BLANK_DATA | FILTER_CASE_FILTERS_LAYER_MASKS;
constexpr std::uint8_t kWithSelection = kWithoutSelection | FILTER_CASE_WRITES_OUTSIDE_SELECTION;
constexpr FilterCaseInfo Case(std::uint8_t flags) {
    return {FILTER_HANDLING_MATTE_WHITE, FILTER_HANDLING_MATTE_WHITE, flags, 0};
}
constexpr FilterCaseInfo kCases[FILTER_CASE_COUNT] = {
    Case(kWithoutSelection),  // flat image
    Case(kWithSelection),     // flat image with selection
    Case(kWithoutSelection),  // floating selection
    Case(kWithoutSelection),  // editable transparency
    Case(kWithSelection),     // editable transparency with selection
    Case(kWithoutSelection),  // protected transparency
    Case(kWithSelection),     // protected transparency with selection
};

#if defined(__x86_64__)
constexpr FilterKey kEntryPointKey = FILTER_KEY('8', '6', '6', '4');
#elif defined(__i386__)
constexpr FilterKey kEntryPointKey = FILTER_KEY('w', 'x', '8', '6');
#else
#error "the filter's entry-point property is defined for x86-64 and i386 only"
#endif

constexpr FilterProperty Property(FilterKey key, const void* data, std::size_t length) {
    return {FILTER_VENDOR, key, 0, static_cast<std::uint32_t>(length), data};
}

const FilterProperty kProperties[] = {
    Property(FILTER_KEY('k', 'i', 'n', 'd'), &kKind, sizeof kKind),
    Property(FILTER_KEY('n', 'a', 'm', 'e'), kName, sizeof kName - 1),
    Property(FILTER_KEY('c', 'a', 't', 'g'), kCategory, sizeof kCategory - 1),
    Property(FILTER_KEY('v', 'e', 'r', 's'), &kInterfaceVersion, sizeof kInterfaceVersion),
    Property(kEntryPointKey, kEntryPoint, sizeof kEntryPoint),
    Property(FILTER_KEY('m', 'o', 'd', 'e'), kModes, sizeof kModes),
    Property(FILTER_KEY('h', 's', 't', 'm'), &kTerminologyLink, sizeof kTerminologyLink),
    Property(FILTER_KEY('e', 'n', 'b', 'l'), kEnabledWhen, sizeof kEnabledWhen),
    Property(FILTER_KEY('m', 's', '3', '2'), &kLargestImage, sizeof kLargestImage),
    Property(FILTER_KEY('f', 'l', 'l', 'y'), &kFilterLayer, sizeof kFilterLayer),
    Property(FILTER_KEY('f', 'i', 'c', 'i'), kCases, sizeof kCases),
};

// Every parameter is a 32-bit integer without a description.
constexpr FilterTermParameter Parameter(const char* name, FilterKey key) {
    return {name, key, FILTER_TYPE_INTEGER, "", 0};
}
const FilterTermParameter kParameters[] = {
    Parameter("VigMidpoint", FILTER_KEY('v', 'i', 'g', '1')),
    Parameter("VigAmount", FILTER_KEY('v', 'i', 'g', '2')),
    Parameter("CaRed", FILTER_KEY('c', 'a', '1', ' ')),
    Parameter("CaBlue", FILTER_KEY('c', 'a', '2', ' ')),
    Parameter("CorChoice", FILTER_KEY('d', 'f', 'x', 'x')),
    Parameter("FishDistortion", FILTER_KEY('f', 's', 'h', '1')),
    Parameter("FishCrop", FILTER_KEY('f', 's', 'h', '2')),
    Parameter("FishRotate", FILTER_KEY('f', 's', 'h', '3')),
    Parameter("FishHorz", FILTER_KEY('f', 's', 'h', '4')),
    Parameter("FishVert", FILTER_KEY('f', 's', 'h', '5')),
    Parameter("PerspectVert", FILTER_KEY('p', 'r', 'h', '0')),
    Parameter("PerspectHorz", FILTER_KEY('p', 'r', 'h', '1')),
    Parameter("PerspectRotate", FILTER_KEY('p', 'r', 'h', '2')),
    Parameter("PerspectScale", FILTER_KEY('p', 'r', 'h', '3')),
    Parameter("PerspectShiftVert", FILTER_KEY('p', 'r', 'h', '4')),
    Parameter("PerspectShiftHorz", FILTER_KEY('p', 'r', 'h', '5')),
    Parameter("GridColor", FILTER_KEY('g', 'r', 'h', '1')),
};

constexpr std::uint16_t kDirectParameterFlags = 0xB000;
const FilterTermEvent kEvents[] = {{
    "Quillon",
    "lens correction filter plug-in",
    kScriptClass,
    kScriptClass,
    FILTER_TYPE_NONE,
    "",
    0,
    FILTER_TYPE_IMAGE_REFERENCE,
    "",
    kDirectParameterFlags,
    static_cast<std::int32_t>(sizeof kParameters / sizeof kParameters[0]),
    kParameters,
}};

const FilterTermSuite kSuites[] = {{
    "Velmora",
    "Quillon",
    kScriptClass,
    1,
    1,
    1,
    kEvents,
    0,
    0,
    0,
}};

}  // namespace

extern "C" {

QUILLON_EXPORT extern const FilterPropertyList PluginProperties;
QUILLON_EXPORT extern const FilterTerminology PluginTerminology;

const FilterPropertyList PluginProperties = {
    FILTER_PROPERTY_LIST_VERSION, kResourceId,
    static_cast<std::int32_t>(sizeof kProperties / sizeof kProperties[0]), kProperties};

const FilterTerminology PluginTerminology = {1, 0, 0, 0, kResourceId, 1, kSuites};

}  // extern "C"
