// SPDX-License-Identifier: GPL-3.0-or-later
#include "indi/OwnProperty.h"

#include <libindi/indidevapi.h>

#include <cstdlib>
#include <cstring>

namespace kavri::indi {

OwnProperty::OwnProperty(const PropertySpec& spec, const char* device)
    : spec_(spec), device_(device) {
    Build({});
}

OwnProperty::~OwnProperty() {
    FreeTexts();
}

void OwnProperty::FreeTexts() {
    // IUFillText and IUSaveText allocate the texts with malloc.
    for (auto& text : texts_) std::free(text.text);
    texts_.clear();
}

void OwnProperty::Build(const std::vector<Element>& elements) {
    const char* dev = device_.c_str();
    switch (spec_.kind) {
        case PropertyKind::Number:
            numbers_.assign(elements.size(), INumber{});
            for (size_t i = 0; i < elements.size(); ++i) {
                const Element& e = elements[i];
                IUFillNumber(&numbers_[i], e.name.c_str(), e.label.c_str(), e.format.c_str(), e.min,
                             e.max, e.step, e.value);
            }
            IUFillNumberVector(&numberVector_, numbers_.data(), static_cast<int>(numbers_.size()),
                               dev, spec_.name, spec_.label, spec_.group, spec_.permission, 60,
                               IPS_IDLE);
            break;
        case PropertyKind::Switch:
            switches_.assign(elements.size(), ISwitch{});
            for (size_t i = 0; i < elements.size(); ++i) {
                IUFillSwitch(&switches_[i], elements[i].name.c_str(), elements[i].label.c_str(),
                             elements[i].on ? ISS_ON : ISS_OFF);
            }
            IUFillSwitchVector(&switchVector_, switches_.data(), static_cast<int>(switches_.size()),
                               dev, spec_.name, spec_.label, spec_.group, spec_.permission,
                               spec_.rule, 60, IPS_IDLE);
            break;
        case PropertyKind::Text:
            FreeTexts();
            texts_.assign(elements.size(), IText{});
            for (size_t i = 0; i < elements.size(); ++i) {
                IUFillText(&texts_[i], elements[i].name.c_str(), elements[i].label.c_str(),
                           elements[i].text.c_str());
            }
            IUFillTextVector(&textVector_, texts_.data(), static_cast<int>(texts_.size()), dev,
                             spec_.name, spec_.label, spec_.group, spec_.permission, 60, IPS_IDLE);
            break;
    }
}

bool OwnProperty::SameNames(const std::vector<Element>& elements) const {
    const auto same = [&](const auto& current, auto labelOf) {
        if (current.size() != elements.size()) return false;
        for (size_t i = 0; i < elements.size(); ++i) {
            if (elements[i].name != current[i].name || elements[i].label != labelOf(current[i]))
                return false;
        }
        return true;
    };
    switch (spec_.kind) {
        case PropertyKind::Number:
            return same(numbers_, [](const INumber& n) { return std::string(n.label); });
        case PropertyKind::Switch:
            return same(switches_, [](const ISwitch& s) { return std::string(s.label); });
        case PropertyKind::Text:
            return same(texts_, [](const IText& t) { return std::string(t.label); });
    }
    return false;
}

bool OwnProperty::Assign(const std::vector<Element>& elements) {
    bool changed = false;
    for (size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        switch (spec_.kind) {
            case PropertyKind::Number:
                changed = changed || numbers_[i].value != e.value;
                numbers_[i].value = e.value;
                break;
            case PropertyKind::Switch: {
                const ISState state = e.on ? ISS_ON : ISS_OFF;
                changed = changed || switches_[i].s != state;
                switches_[i].s = state;
                break;
            }
            case PropertyKind::Text:
                if (e.text != (texts_[i].text ? texts_[i].text : "")) {
                    IUSaveText(&texts_[i], e.text.c_str());
                    changed = true;
                }
                break;
        }
    }
    return changed;
}

void OwnProperty::Update(INDI::DefaultDevice& device, const std::vector<Element>& elements,
                         bool send) {
    if (!SameNames(elements)) {
        const bool wasDefined = defined_;
        if (wasDefined) Delete(device);
        Build(elements);
        if (wasDefined) Define(device);
        return;
    }
    if (Assign(elements) && defined_ && send) {
        switch (spec_.kind) {
            case PropertyKind::Number:
                IDSetNumber(&numberVector_, nullptr);
                break;
            case PropertyKind::Switch:
                IDSetSwitch(&switchVector_, nullptr);
                break;
            case PropertyKind::Text:
                IDSetText(&textVector_, nullptr);
                break;
        }
    }
}

void OwnProperty::Define(INDI::DefaultDevice& device) {
    switch (spec_.kind) {
        case PropertyKind::Number:
            device.defineProperty(&numberVector_);
            break;
        case PropertyKind::Switch:
            device.defineProperty(&switchVector_);
            break;
        case PropertyKind::Text:
            device.defineProperty(&textVector_);
            break;
    }
    defined_ = true;
}

void OwnProperty::Delete(INDI::DefaultDevice& device) {
    if (defined_) device.deleteProperty(spec_.name);
    defined_ = false;
}

void OwnProperty::Send(IPState state, const std::string& message) {
    const char* format = message.empty() ? nullptr : "%s";
    switch (spec_.kind) {
        case PropertyKind::Number:
            numberVector_.s = state;
            if (defined_) IDSetNumber(&numberVector_, format, message.c_str());
            break;
        case PropertyKind::Switch:
            switchVector_.s = state;
            if (defined_) IDSetSwitch(&switchVector_, format, message.c_str());
            break;
        case PropertyKind::Text:
            textVector_.s = state;
            if (defined_) IDSetText(&textVector_, format, message.c_str());
            break;
    }
}

void OwnProperty::SetState(IPState state) {
    numberVector_.s = state;
    switchVector_.s = state;
    textVector_.s = state;
}

IPState OwnProperty::State() const {
    switch (spec_.kind) {
        case PropertyKind::Number:
            return numberVector_.s;
        case PropertyKind::Switch:
            return switchVector_.s;
        case PropertyKind::Text:
            return textVector_.s;
    }
    return IPS_IDLE;
}

std::string OwnProperty::TextOf(const std::string& element) const {
    for (const auto& text : texts_) {
        if (element == text.name) return text.text ? text.text : "";
    }
    return {};
}

}  // namespace kavri::indi
