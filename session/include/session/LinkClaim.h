#pragma once

#include <functional>
#include <memory>
#include <string>

#include "linkselect/Link.h"

class QLockFile;

// A link held by this process: a lock file per port or pipe in the user's runtime folder, so that
// two watchers, or a watcher and the program, never talk over one link, and the one that finds it
// taken can say who holds it. A holder that has died leaves no claim behind (its process is
// gone). The claim ends with the object.
class LinkClaim {
public:
    ~LinkClaim();
    LinkClaim(const LinkClaim&) = delete;
    LinkClaim& operator=(const LinkClaim&) = delete;

    // Claims `name`: a link ("link ttyUSB0", "link pipe RAK Pipe"), or "watcher" for a running
    // watcher. Null when another process holds it; `holder` then says which ("tavon-datalog,
    // process 4242"), or why the claim could not be made; `held`, when given, tells the two
    // apart (true: another process holds it).
    static std::unique_ptr<LinkClaim> Take(const std::string& name, std::string& holder,
                                           bool* held = nullptr);

    // Who holds the claim `name` now, as Take says it; empty when nobody does.
    static std::string Holder(const std::string& name);

    // The claim's name of a link, whichever front end opens it: the companion pipe of that name
    // ("link pipe RAK Pipe"), or the serial port's bare device name ("link ttyUSB0").
    static std::string LinkName(bool pipe, const std::string& name);
    // The claim's name of the port the selection dialog remembered under "Com Port" ("IrDA Port
    // ttyUSB0": "link ttyUSB0"), with its bare device name in `device`; empty for an entry that
    // is not a cable port (a Bluetooth entry is named after its instrument, and its device is
    // opened by one program at a time all the same).
    static std::string RememberedPortName(const std::string& setting,
                                          std::string* device = nullptr);

    // Opens a link only once it is claimed as `name`, so that a link another process holds is
    // never opened (its lines are not toggled under that process's conversation). Returns the
    // link `open` gives, with `claim` holding it while it is open; null when it did not open, or
    // when it is held (`holder` then says by whom, else it is emptied). Without a lock file the
    // link cannot be claimed, but it is free as far as anyone can tell: it is opened unclaimed
    // rather than not at all.
    static LinkPtr OpenClaimed(const std::string& name, const std::function<LinkPtr()>& open,
                               std::unique_ptr<LinkClaim>& claim, std::string& holder);

private:
    explicit LinkClaim(std::unique_ptr<QLockFile> lock);
    std::unique_ptr<QLockFile> m_lock;
};
