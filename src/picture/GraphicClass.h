#pragma once

#include <memory>

class TGraphic;

// A class reference for picture classes: the registry stores these and creates pictures from them.
// Each picture class exposes `static const TGraphicClass &ClassInfo()` and overrides ClassType().
struct TGraphicClass {
    const char *Name;
    const TGraphicClass *Parent; // nullptr for TGraphic itself
    std::unique_ptr<TGraphic> (*Create)();

    // True when this class is `base` or descends from it.
    bool InheritsFrom(const TGraphicClass &base) const
    {
        for (const TGraphicClass *c = this; c != nullptr; c = c->Parent)
            if (c == &base)
                return true;
        return false;
    }
};
