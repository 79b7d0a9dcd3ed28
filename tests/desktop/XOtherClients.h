#pragma once

#include <string>
#include <sys/types.h>

// Other programs' X clients, as the root-pixmap tests need them.

// Publishes a new pixmap in _XROOTPMAP_ID and ESETROOT_PMAP_ID and disconnects without keeping it, as a
// setter killed half-way does: the pixmap is gone and its id free for the next client. Returns the id.
unsigned long PublishUnkeptRootPixmap(const std::string &display);
// Publishes one from a child process that keeps it (RetainPermanent) and ends, as a setter that
// follows the convention does. Returns the id.
unsigned long PublishKeptRootPixmapFromEndedProcess(const std::string &display);

// A client of another program, in a child process: a pixmap as its first resource and, when asked, a
// mapped window. It lives until the object goes.
class OtherXClient {
public:
    OtherXClient(const std::string &display, bool withWindow);
    ~OtherXClient();
    OtherXClient(const OtherXClient &) = delete;
    OtherXClient &operator=(const OtherXClient &) = delete;

    unsigned long Pixmap() const { return ids_[0]; }
    unsigned long Window() const { return ids_[1]; }

private:
    pid_t pid_ = -1;
    unsigned long ids_[2] = {0, 0};
};

// The clients the server holds that own pixmaps and nothing else (the kept ones of setters); -1
// without the X-Resource extension.
int CountPixmapOnlyClients(const std::string &display);
