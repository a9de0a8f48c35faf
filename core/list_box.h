// The list box members the wizard's procedures use, so that the database procedures can fill a
// window's list without knowing the toolkit.
#pragma once

#include <string>

namespace app {

class ListBoxControl {
public:
    virtual void AddItem(const std::string& text) = 0;
    virtual void RemoveItem(int index) = 0;
    virtual void Clear() = 0;
    virtual int ListCount() const = 0;
    virtual std::string List(int index) const = 0;
    // -1 when no entry is selected.
    virtual int ListIndex() const = 0;
    virtual void SetListIndex(int index) = 0;

protected:
    ~ListBoxControl() = default;
};

}  // namespace app
