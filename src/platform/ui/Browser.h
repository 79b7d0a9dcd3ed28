#pragma once

#include <QString>

// Opens an address in the user's web browser (or a local document in its viewer).
class Browser {
public:
    virtual ~Browser() = default;
    // Returns false when no program could be started for the address.
    virtual bool Open(const QString &url) = 0;
};

class QtBrowser : public Browser {
public:
    bool Open(const QString &url) override;
};
