// SPDX-License-Identifier: GPL-3.0-or-later
// One of the driver's own INDI properties, built from its row of the property table and the
// elements PropertyValues gives for the device's present state. It keeps the INDI vector and
// its elements, rebuilds them when the elements change (a different filter or thermometer
// count) and sends only what changed.
#pragma once

#include <libindi/defaultdevice.h>

#include <string>
#include <vector>

#include "indi/PropertyValues.h"

namespace kavri::indi {

enum class PropertyKind { Number, Switch, Text };
// When a property exists: always, or while connected to a controller with that mechanism.
enum class Shown { Always, Focuser, Wheel };

struct PropertySpec {
    const char* name;
    const char* label;
    const char* group;
    PropertyKind kind;
    IPerm permission;
    ISRule rule;  // switches only
    Shown shown;
};

class OwnProperty {
public:
    OwnProperty(const PropertySpec& spec, const char* device);
    ~OwnProperty();
    OwnProperty(const OwnProperty&) = delete;
    OwnProperty& operator=(const OwnProperty&) = delete;

    const PropertySpec& Spec() const { return spec_; }

    // Takes new elements. Same names: values are updated, and sent when they changed, the
    // property is defined and `send` holds. Other names: the property is deleted, rebuilt and
    // defined again.
    void Update(INDI::DefaultDevice& device, const std::vector<Element>& elements,
                bool send = true);
    void Define(INDI::DefaultDevice& device);
    void Delete(INDI::DefaultDevice& device);
    bool Defined() const { return defined_; }
    IPState State() const;
    // Sets the state without sending it: the next definition or update carries it.
    void SetState(IPState state);

    // Sends the present values with a new state and, when not empty, a message.
    void Send(IPState state, const std::string& message = {});
    // The present values as the client's request would carry them (the text of a text property).
    std::string TextOf(const std::string& element) const;

private:
    void Build(const std::vector<Element>& elements);
    bool SameNames(const std::vector<Element>& elements) const;
    // Copies values; true when any differed.
    bool Assign(const std::vector<Element>& elements);
    void FreeTexts();

    PropertySpec spec_;
    std::string device_;
    bool defined_ = false;
    INumberVectorProperty numberVector_{};
    ISwitchVectorProperty switchVector_{};
    ITextVectorProperty textVector_{};
    std::vector<INumber> numbers_;
    std::vector<ISwitch> switches_;
    std::vector<IText> texts_;
};

}  // namespace kavri::indi
