#pragma once
// A symbolic link that gives a pty a fixed name for the program's configuration ("--link-a
// /tmp/korvat-A"). The link is ours from creation to destruction; a link left by an earlier run
// is replaced, anything that is not a link is left alone.

#include <QString>

namespace korvat::sim {

class DeviceLink {
public:
    DeviceLink() = default;
    ~DeviceLink() { remove(); }
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Points `linkPath` at `target`, replacing an old symbolic link there.
    bool create(const QString& linkPath, const QString& target, QString* error);
    // Removes the link if it still points where we set it (someone may have replaced it since).
    void remove();

    // Removes a symbolic link at `linkPath` left by an earlier run, so the name is plainly
    // missing. False with `error` when something else is in the way.
    static bool removeStale(const QString& linkPath, QString* error);

private:
    QString linkPath_;
    QString target_;
};

} // namespace korvat::sim
