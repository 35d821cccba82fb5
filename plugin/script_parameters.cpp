#include "plugin/script_parameters.h"

namespace quillon::plugin {

namespace {

using engine::CorrectionSettings;
using settings::SettingsValues;

// A descriptor is the host's data: a host that kept answering keys must not
// hold the run forever.
constexpr int kMaxKeysRead = 4096;

void DisposeDescriptor(FilterRecord& record, FilterDescriptorParameters& parameters) {
    const FilterHandleProcs* handles = record.handleProcs;
    if (parameters.descriptor != nullptr && handles != nullptr && handles->disposeProc != nullptr) {
        handles->disposeProc(handles->context, parameters.descriptor);
    }
    parameters.descriptor = nullptr;
}

}  // namespace

const std::array<ScriptParameter, kScriptParameterCount> kScriptParameters = {{
    {"VigMidpoint", FILTER_KEY('v', 'i', 'g', '1'), &CorrectionSettings::VigMidpoint},
    {"VigAmount", FILTER_KEY('v', 'i', 'g', '2'), &CorrectionSettings::VigAmount},
    {"CaRed", FILTER_KEY('c', 'a', '1', ' '), &CorrectionSettings::CaRed},
    {"CaBlue", FILTER_KEY('c', 'a', '2', ' '), &CorrectionSettings::CaBlue},
    {"CorChoice", FILTER_KEY('d', 'f', 'x', 'x'), &CorrectionSettings::CorChoice},
    {"FishDistortion", FILTER_KEY('f', 's', 'h', '1'), &CorrectionSettings::FisheyeDistortion},
    {"FishCrop", FILTER_KEY('f', 's', 'h', '2'), &CorrectionSettings::FisheyeCrop},
    {"FishRotate", FILTER_KEY('f', 's', 'h', '3'), &CorrectionSettings::FisheyeRotate},
    {"FishHorz", FILTER_KEY('f', 's', 'h', '4'), &CorrectionSettings::FisheyeHorz},
    {"FishVert", FILTER_KEY('f', 's', 'h', '5'), &CorrectionSettings::FisheyeVert},
    {"PerspectVert", FILTER_KEY('p', 'r', 'h', '0'), &CorrectionSettings::PerspectVert},
    {"PerspectHorz", FILTER_KEY('p', 'r', 'h', '1'), &CorrectionSettings::PerspectHorz},
    {"PerspectRotate", FILTER_KEY('p', 'r', 'h', '2'), &CorrectionSettings::PerspectRotate},
    {"PerspectScale", FILTER_KEY('p', 'r', 'h', '3'), &CorrectionSettings::PerspectScale},
    {"PerspectShiftVert", FILTER_KEY('p', 'r', 'h', '4'), &CorrectionSettings::PerspectShiftVert},
    {"PerspectShiftHorz", FILTER_KEY('p', 'r', 'h', '5'), &CorrectionSettings::PerspectShiftHorz},
    {"GridColor", FILTER_KEY('g', 'r', 'h', '1'), nullptr},
}};

const std::array<FilterKey, kScriptParameterCount> kReadOrder = {
    FILTER_KEY('v', 'i', 'g', '2'), FILTER_KEY('v', 'i', 'g', '1'), FILTER_KEY('c', 'a', '1', ' '),
    FILTER_KEY('c', 'a', '2', ' '), FILTER_KEY('f', 's', 'h', '1'), FILTER_KEY('f', 's', 'h', '2'),
    FILTER_KEY('f', 's', 'h', '3'), FILTER_KEY('f', 's', 'h', '4'), FILTER_KEY('f', 's', 'h', '5'),
    FILTER_KEY('p', 'r', 'h', '0'), FILTER_KEY('p', 'r', 'h', '1'), FILTER_KEY('p', 'r', 'h', '2'),
    FILTER_KEY('p', 'r', 'h', '3'), FILTER_KEY('p', 'r', 'h', '4'), FILTER_KEY('p', 'r', 'h', '5'),
    FILTER_KEY('g', 'r', 'h', '1'), FILTER_KEY('d', 'f', 'x', 'x'),
};

const std::array<FilterKey, kScriptParameterCount> kWriteOrder = {
    FILTER_KEY('d', 'f', 'x', 'x'), FILTER_KEY('v', 'i', 'g', '2'), FILTER_KEY('v', 'i', 'g', '1'),
    FILTER_KEY('c', 'a', '1', ' '), FILTER_KEY('c', 'a', '2', ' '), FILTER_KEY('f', 's', 'h', '1'),
    FILTER_KEY('f', 's', 'h', '2'), FILTER_KEY('f', 's', 'h', '3'), FILTER_KEY('f', 's', 'h', '4'),
    FILTER_KEY('f', 's', 'h', '5'), FILTER_KEY('p', 'r', 'h', '0'), FILTER_KEY('p', 'r', 'h', '1'),
    FILTER_KEY('p', 'r', 'h', '2'), FILTER_KEY('p', 'r', 'h', '3'), FILTER_KEY('p', 'r', 'h', '4'),
    FILTER_KEY('p', 'r', 'h', '5'), FILTER_KEY('g', 'r', 'h', '1'),
};

const ScriptParameter* FindScriptParameter(FilterKey key) {
    for (const ScriptParameter& p : kScriptParameters) {
        if (p.key == key) return &p;
    }
    return nullptr;
}

void ReadScriptParameters(FilterRecord& record, SettingsValues& values,
                          CorrectionSettings& correction) {
    FilterDescriptorParameters* parameters = record.descriptorParameters;
    if (parameters == nullptr || parameters->descriptor == nullptr) return;
    const FilterReadDescriptorProcs* procs = parameters->readDescriptorProcs;
    if (procs == nullptr || procs->openReadDescriptorProc == nullptr ||
        procs->getKeyProc == nullptr || procs->getIntegerProc == nullptr ||
        procs->closeReadDescriptorProc == nullptr) {
        return;
    }

    std::array<FilterKey, kScriptParameterCount + 1> expected{};
    for (std::size_t i = 0; i < kReadOrder.size(); ++i) expected[i] = kReadOrder[i];
    FilterReadToken token =
        procs->openReadDescriptorProc(procs->context, parameters->descriptor, expected.data());
    if (token == nullptr) return;

    FilterKey key = 0;
    FilterKey type = 0;
    std::int32_t flags = 0;
    for (int n = 0;
         n < kMaxKeysRead && procs->getKeyProc(procs->context, token, &key, &type, &flags) != 0;
         ++n) {
        const ScriptParameter* parameter = FindScriptParameter(key);
        if (parameter == nullptr) continue;
        std::int32_t value = 0;
        if (procs->getIntegerProc(procs->context, token, &value) == FILTER_RESULT_OK) {
            parameter->Set(values, correction, value);
        }
    }
    (void)procs->closeReadDescriptorProc(procs->context, token);
    DisposeDescriptor(record, *parameters);
}

void WriteScriptParameters(FilterRecord& record, const SettingsValues& values,
                           const CorrectionSettings& correction) {
    FilterDescriptorParameters* parameters = record.descriptorParameters;
    if (parameters == nullptr) return;
    const FilterWriteDescriptorProcs* procs = parameters->writeDescriptorProcs;
    if (procs == nullptr || procs->openWriteDescriptorProc == nullptr ||
        procs->putIntegerProc == nullptr || procs->closeWriteDescriptorProc == nullptr) {
        return;
    }
    FilterWriteToken token = procs->openWriteDescriptorProc(procs->context);
    if (token == nullptr) return;

    for (const FilterKey key : kWriteOrder) {
        const ScriptParameter* parameter = FindScriptParameter(key);
        (void)procs->putIntegerProc(procs->context, token, key, parameter->Get(values, correction));
    }
    DisposeDescriptor(record, *parameters);
    FilterHandle descriptor = nullptr;
    (void)procs->closeWriteDescriptorProc(procs->context, token, &descriptor);
    parameters->descriptor = descriptor;
    parameters->recordInfo = FILTER_PLAY_DIALOG_OPTIONAL;
}

}  // namespace quillon::plugin
