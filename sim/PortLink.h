// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The symbolic link through which the programs find the emulator: a COM port of the port map
// ($XDG_CONFIG_HOME/kavri/ports/comN) or any path the user names.
namespace kavri::sim {

// Path of the port-map link for COM`number`: where kavrictl and kavri-control look for it.
std::string ComPortLinkPath(int number);

class PortLink {
public:
    PortLink() = default;
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Makes `path` a symbolic link to `target`, creating missing directories. An existing
    // file, or a link that points anywhere else, is left alone and refused: a real
    // controller may be mapped there. The one exception is a link to a pseudo-terminal that
    // no longer exists, which only a previous emulator can have left behind.
    bool Create(const std::string& path, const std::string& target, std::string* error);
    // Removes the link if it still points where this object made it point.
    void Remove();

private:
    std::string path_;
    std::string target_;
};

}  // namespace kavri::sim
