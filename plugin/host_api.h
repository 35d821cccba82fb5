/*
 * The filter interface between an image editor (the host) and a filter
 * plug-in, as this project uses it on Linux. A host built from this header
 * alone can load, place, run and script the plug-in; the project's reference
 * host (tools/quillon-host) is one.
 *
 * Layout rules
 * - Plain C, natural alignment of the platform's C compiler (x86-64 or i386
 *   System V); no packing pragmas. Host and plug-in are built for the same
 *   architecture, so every record is shared as it is.
 * - Integers are in the machine's byte order. Four-character codes (FilterKey)
 *   are 32-bit unsigned integers whose first character is the most
 *   significant byte: 'vig1' is 0x76696731 (FILTER_KEY('v','i','g','1')).
 * - Pixel coordinates are 16-bit: rectangles hold top, left, bottom, right
 *   with bottom and right exclusive; an empty rectangle has all four 0.
 *   Points hold v (rows) before h (columns).
 * - Rates are 16.16 fixed point: 1.0 is 0x00010000.
 * - Samples handed through inData/outData: one plane at a time, one sample
 *   per pixel; 8-bit documents 0..255 in bytes, 16-bit documents 0..32768 in
 *   native 16-bit words. Rows follow each other inRowBytes/outRowBytes apart.
 * - Every proc receives the `context` of its suite first; the plug-in never
 *   reads or changes a context, it only passes it back.
 * - Memory handed out by a proc belongs to the host and is given back only
 *   through the matching proc.
 *
 * The sequence of one filter run (the host calls PluginMain once per step):
 *   FILTER_SELECTOR_PARAMETERS  only when the user asks to set the filter up;
 *   FILTER_SELECTOR_PREPARE     the plug-in states the memory it wants;
 *   FILTER_SELECTOR_START       the plug-in requests rectangles and planes and
 *                               calls advanceState for each;
 *   FILTER_SELECTOR_CONTINUE    repeated while the plug-in leaves any of
 *                               inRect, outRect, maskRect non-empty;
 *   FILTER_SELECTOR_FINISH      always, after a successful start.
 * A result other than FILTER_RESULT_OK from any step ends the run; the host
 * then discards what the plug-in wrote.
 */
#ifndef QUILLON_PLUGIN_HOST_API_H
#define QUILLON_PLUGIN_HOST_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t FilterKey;
#define FILTER_KEY(a, b, c, d)                                           \
    (((FilterKey)(uint8_t)(a) << 24) | ((FilterKey)(uint8_t)(b) << 16) | \
     ((FilterKey)(uint8_t)(c) << 8) | (FilterKey)(uint8_t)(d))

typedef int16_t FilterError; /* 0 = no error */
typedef int32_t FilterFixed; /* 16.16 */
#define FILTER_FIXED_ONE ((FilterFixed)0x00010000)

typedef struct FilterRect16 {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
} FilterRect16;

typedef struct FilterPoint16 {
    int16_t v;
    int16_t h;
} FilterPoint16;

typedef struct FilterPoint32 {
    int32_t v;
    int32_t h;
} FilterPoint32;

/* Opaque host objects. */
typedef struct FilterBufferOpaque* FilterBufferId;
typedef struct FilterHandleOpaque* FilterHandle;
typedef struct FilterReadOpaque* FilterReadToken;
typedef struct FilterWriteOpaque* FilterWriteToken;

/* ---- Selectors and results ------------------------------------------- */

#define FILTER_SELECTOR_ABOUT 0
#define FILTER_SELECTOR_PARAMETERS 1
#define FILTER_SELECTOR_PREPARE 2
#define FILTER_SELECTOR_START 3
#define FILTER_SELECTOR_CONTINUE 4
#define FILTER_SELECTOR_FINISH 5

#define FILTER_RESULT_OK 0
#define FILTER_RESULT_OUT_OF_MEMORY (-108)
#define FILTER_RESULT_CANCELLED (-128)
/* The plug-in failed and has already told the user why; the host shows
 * nothing more. Negative codes other than the two above are the host's own,
 * handed back unchanged from advanceState. */
#define FILTER_RESULT_REPORTED 1

/* ---- Buffer procs: memory for the plug-in's working blocks ------------ */

typedef struct FilterBufferProcs {
    void* context;
    /* Reserves `size` bytes; FILTER_RESULT_OK and *buffer set, or an error. */
    FilterError (*allocateProc)(void* context, uint64_t size, FilterBufferId* buffer);
    /* The address of the buffer's bytes, valid until freeProc; null on
     * failure. `moveHigh` non-zero allows the host to move it first. */
    void* (*lockProc)(void* context, FilterBufferId buffer, uint8_t moveHigh);
    /* Releases the buffer, locked or not. */
    void (*freeProc)(void* context, FilterBufferId buffer);
} FilterBufferProcs;

/* ---- Handle procs: blocks the host hands over (metadata, descriptors) - */

typedef struct FilterHandleProcs {
    void* context;
    /* Size in bytes; 0 for an empty or unknown handle. */
    uint64_t (*getSizeProc)(void* context, FilterHandle handle);
    /* The handle's bytes, valid until unlockProc or disposeProc; null on
     * failure. */
    void* (*lockProc)(void* context, FilterHandle handle, uint8_t moveHigh);
    void (*unlockProc)(void* context, FilterHandle handle);
    /* Frees the handle; a null handle is accepted and ignored. */
    void (*disposeProc)(void* context, FilterHandle handle);
} FilterHandleProcs;

/* ---- Property procs: facts about the document ------------------------- */

#define FILTER_PROPERTY_SIGNATURE FILTER_KEY('8', 'B', 'I', 'M')
/* The document's EXIF data as a TIFF structure (byte-order mark "II" or
 * "MM", 42, offset of the first directory; offsets count from its first
 * byte). */
#define FILTER_PROPERTY_EXIF FILTER_KEY('E', 'X', 'I', 'F')
/* The document's XMP packet as text, without a terminating NUL. */
#define FILTER_PROPERTY_XMP FILTER_KEY('x', 'm', 'p', 'd')

typedef struct FilterPropertyProcs {
    void* context;
    /* Looks up property `key` of `signature` (index 0 for single values).
     * A block property comes back in *complexProperty as a new handle that
     * the plug-in owns and disposes of through the handle procs; a number in
     * *simpleProperty. FILTER_RESULT_OK when the document has the property. */
    FilterError (*getPropertyProc)(void* context, FilterKey signature, FilterKey key, int32_t index,
                                   int64_t* simpleProperty, FilterHandle* complexProperty);
} FilterPropertyProcs;

/* ---- Descriptors: the filter's parameters for recording and playback -- */

typedef struct FilterReadDescriptorProcs {
    void* context;
    /* Starts reading `descriptor`; `expectedKeys` lists the keys the plug-in
     * knows, ended by 0. Null when nothing can be read. */
    FilterReadToken (*openReadDescriptorProc)(void* context, FilterHandle descriptor,
                                              const FilterKey* expectedKeys);
    FilterError (*closeReadDescriptorProc)(void* context, FilterReadToken token);
    /* The next key of the descriptor in *key (with its type and flags); 0
     * when there is none. */
    uint8_t (*getKeyProc)(void* context, FilterReadToken token, FilterKey* key, FilterKey* type,
                          int32_t* flags);
    /* The value of the key just returned by getKeyProc. */
    FilterError (*getIntegerProc)(void* context, FilterReadToken token, int32_t* value);
} FilterReadDescriptorProcs;

typedef struct FilterWriteDescriptorProcs {
    void* context;
    /* Null when the host takes no descriptor now. */
    FilterWriteToken (*openWriteDescriptorProc)(void* context);
    /* Ends the writing; the new descriptor's handle comes back in
     * *descriptor, owned by the host. */
    FilterError (*closeWriteDescriptorProc)(void* context, FilterWriteToken token,
                                            FilterHandle* descriptor);
    FilterError (*putIntegerProc)(void* context, FilterWriteToken token, FilterKey key,
                                  int32_t value);
} FilterWriteDescriptorProcs;

#define FILTER_PLAY_DIALOG_OPTIONAL 0
#define FILTER_PLAY_DISPLAY_DIALOG 1
#define FILTER_PLAY_SILENT 2

typedef struct FilterDescriptorParameters {
    /* Set by the host: whether the user wants the filter's dialog (one of
     * FILTER_PLAY_*). */
    int16_t playInfo;
    /* Set by the plug-in when it hands a descriptor back: 0 = the dialog is
     * optional when the step is played back. */
    int16_t recordInfo;
    /* In: the parameters to apply, or null. The plug-in disposes of it once
     * read and sets the member to null. Out: the descriptor of the values
     * used, or null. */
    FilterHandle descriptor;
    FilterWriteDescriptorProcs* writeDescriptorProcs; /* may be null */
    FilterReadDescriptorProcs* readDescriptorProcs;   /* may be null */
} FilterDescriptorParameters;

/* ---- The records passed to PluginMain --------------------------------- */

typedef struct FilterPlatformData {
    /* The host's main window (an X11 window id, or 0 for none): owner of
     * the plug-in's dialogs. */
    uintptr_t ownerWindow;
} FilterPlatformData;

/* Passed with FILTER_SELECTOR_ABOUT. */
typedef struct AboutRecord {
    FilterPlatformData* platformData;
} AboutRecord;

/* Passed with every other selector. "Host" members are set by the host
 * before the call; "plug-in" members are set by the plug-in. */
typedef struct FilterRecord {
    void* hostContext; /* host: for the host's own use */

    /* host: the whole document, rows (v) by columns (h); both 0 when it is
     * larger than 32767 in either direction (see wholeSize). */
    FilterPoint16 imageSize;
    /* host: the whole document in 32 bits, always set. */
    FilterPoint32 wholeSize;
    /* host: the bounding rectangle of the selection, or the whole document. */
    FilterRect16 filterRect;
    int16_t depth;  /* host: bits per sample, 8 or 16 */
    int16_t planes; /* host: planes of the document (3 for RGB, more with extras) */

    int32_t maxSpace;    /* plug-in (prepare): image memory the host should reserve */
    int32_t bufferSpace; /* plug-in (prepare): buffer memory the host should reserve */

    /* plug-in: what the next advanceState hands in (input) and takes over
     * (output); an empty rectangle asks for nothing. Planes are counted from
     * 0 (red, green, blue, then extra planes); lo and hi are inclusive. */
    FilterRect16 inRect;
    int16_t inLoPlane;
    int16_t inHiPlane;
    FilterRect16 outRect;
    int16_t outLoPlane;
    int16_t outHiPlane;
    FilterRect16 maskRect;
    FilterFixed inputRate; /* plug-in: 1.0 = no sampling down */
    FilterFixed maskRate;

    /* host, after advanceState: the requested input samples, read only. */
    const void* inData;
    int32_t inRowBytes;
    /* host, after advanceState: where the plug-in writes the output samples;
     * they start as a copy of the document's. The host takes them over at
     * the next advanceState and when the selector returns. */
    void* outData;
    int32_t outRowBytes;

    /* Asks the host to serve the requested rectangles. FILTER_RESULT_OK, or
     * the host's error code, which the plug-in returns as its result. */
    FilterError (*advanceState)(struct FilterRecord* record);

    FilterPlatformData* platformData;

    /* host: the document's ICC profile, when the host allows them. */
    int32_t canUseICCProfiles;
    const void* iCCprofileData;
    int32_t iCCprofileSize;

    FilterBufferProcs* bufferProcs;                   /* may be null */
    FilterHandleProcs* handleProcs;                   /* may be null */
    FilterPropertyProcs* propertyProcs;               /* may be null */
    FilterDescriptorParameters* descriptorParameters; /* may be null */
} FilterRecord;

/* The one exported function. `record` is a FilterRecord*, or an AboutRecord*
 * for FILTER_SELECTOR_ABOUT; `data` is a word the host keeps for the plug-in
 * between calls; the plug-in sets *result. */
typedef void (*FilterEntryPoint)(int16_t selector, void* record, intptr_t* data, int16_t* result);
#define FILTER_ENTRY_POINT_NAME "PluginMain"

/* ---- Properties: how the host places the filter ----------------------- */

/* The plug-in exports `const FilterPropertyList PluginProperties`: a list
 * of typed properties, each identified by vendor, key and id. The data of a
 * property is laid out as its key says:
 *
 *   'kind'  4 bytes, a FilterKey: '8BFM' for a filter.
 *   'name'  the menu item, a string with a leading length byte.
 *   'catg'  the submenu the item belongs in, a string with a leading length byte.
 *   'vers'  a uint32_t: interface version, major in the high 16 bits.
 *   '8664'  the entry point's name for x86-64 builds, NUL-terminated.
 *   'wx86'  the same for i386 builds.
 *   'mode'  2 bytes of image-mode flags; the first byte's bit 0x10 = RGB.
 *   'hstm'  a FilterTerminologyLink: the filter is scriptable.
 *   'enbl'  a NUL-terminated expression over the document deciding whether
 *           the item is enabled: names ImageMode (with the values RGBMode,
 *           RGB48Mode) and ImageDepth, each prefixed "HOST_"; operators
 *           "in (a, b, ...)", "==", "&&", "||" and parentheses.
 *   'ms32'  a FilterPoint32: the largest document the filter takes (v, h).
 *   'flly'  a uint32_t; its first (most significant) bit set = the filter
 *           may be applied as a filter layer.
 *   'fici'  FILTER_CASE_COUNT FilterCaseInfo, in the order of FILTER_CASE_*.
 */
typedef struct FilterProperty {
    FilterKey vendor;
    FilterKey key;
    int32_t id;
    uint32_t length; /* of data, in bytes */
    const void* data;
} FilterProperty;

typedef struct FilterPropertyList {
    int32_t version; /* FILTER_PROPERTY_LIST_VERSION */
    int32_t resourceId;
    int32_t count;
    const FilterProperty* properties;
} FilterPropertyList;

#define FILTER_PROPERTY_LIST_VERSION 0
#define FILTER_PROPERTIES_SYMBOL "PluginProperties"
#define FILTER_VENDOR FILTER_KEY('8', 'B', 'I', 'M')
#define FILTER_KIND_FILTER FILTER_KEY('8', 'B', 'F', 'M')
#define FILTER_MODE_RGB_FLAG 0x10

typedef struct FilterTerminologyLink {
    int32_t version;
    FilterKey eventClass;
    FilterKey eventId;
    int16_t terminologyId;
    char uniqueString[64]; /* NUL-terminated */
} FilterTerminologyLink;

/* How the host prepares the pixels of each kind of document. */
#define FILTER_CASE_FLAT_IMAGE 0
#define FILTER_CASE_FLAT_IMAGE_WITH_SELECTION 1
#define FILTER_CASE_FLOATING_SELECTION 2
#define FILTER_CASE_EDITABLE_TRANSPARENCY 3
#define FILTER_CASE_EDITABLE_TRANSPARENCY_WITH_SELECTION 4
#define FILTER_CASE_PROTECTED_TRANSPARENCY 5
#define FILTER_CASE_PROTECTED_TRANSPARENCY_WITH_SELECTION 6
#define FILTER_CASE_COUNT 7

/* Handling of transparent areas on input and output. */
#define FILTER_HANDLING_MATTE_WHITE 4
/* Case flags. */
#define FILTER_CASE_DONT_COPY_SOURCE 0x01 /* clear: the host copies source to output */
#define FILTER_CASE_WORKS_WITH_BLANK_DATA 0x02
#define FILTER_CASE_FILTERS_LAYER_MASKS 0x04
#define FILTER_CASE_WRITES_OUTSIDE_SELECTION 0x08

typedef struct FilterCaseInfo {
    int8_t inputHandling;
    int8_t outputHandling;
    uint8_t flags;
    uint8_t reserved; /* 0 */
} FilterCaseInfo;

/* ---- Terminology: how scripts name the filter's parameters ------------ */

/* The plug-in exports `const FilterTerminology PluginTerminology`. */
typedef struct FilterTermParameter {
    const char* name;
    FilterKey key;
    FilterKey type; /* 'long': a 32-bit integer */
    const char* description;
    uint16_t flags;
} FilterTermParameter;

typedef struct FilterTermEvent {
    const char* name;
    const char* description;
    FilterKey eventClass;
    FilterKey eventId;
    FilterKey replyType; /* 'null': no reply */
    const char* replyDescription;
    uint16_t replyFlags;
    FilterKey directType; /* '#ImR': an image reference */
    const char* directDescription;
    uint16_t directFlags;
    int32_t parameterCount;
    const FilterTermParameter* parameters; /* in their scripting order */
} FilterTermEvent;

typedef struct FilterTermSuite {
    const char* vendor;
    const char* description;
    FilterKey suiteId;
    int16_t level;
    int16_t version;
    int32_t eventCount;
    const FilterTermEvent* events;
    /* Classes, comparison operators and enumerations: none in this interface. */
    int32_t classCount;
    int32_t comparisonCount;
    int32_t enumerationCount;
} FilterTermSuite;

typedef struct FilterTerminology {
    uint8_t versionMajor;
    uint8_t versionMinor;
    int16_t language;
    int16_t script;
    int16_t resourceId; /* the terminologyId of the 'hstm' property */
    int32_t suiteCount;
    const FilterTermSuite* suites;
} FilterTerminology;

#define FILTER_TERMINOLOGY_SYMBOL "PluginTerminology"
#define FILTER_TYPE_INTEGER FILTER_KEY('l', 'o', 'n', 'g')
#define FILTER_TYPE_NONE FILTER_KEY('n', 'u', 'l', 'l')
#define FILTER_TYPE_IMAGE_REFERENCE FILTER_KEY('#', 'I', 'm', 'R')

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_PLUGIN_HOST_API_H */
