#pragma once

#include <QIcon>
#include <QSize>

// File-type icons in the manner of the desktop's system image lists: one
// list of small and one of large icons that share an index per file type.
// The lists belong to the process; windows only wrap their handles.

class TSystemImageList
{
public:
    virtual ~TSystemImageList() = default;
    virtual int Count() const = 0;
    virtual QSize IconSize() const = 0;
    // The icon at `index`, or a null icon for an index outside the list.
    virtual QIcon Icon(int index) const = 0;
};

// The list of small icons for 1, of large icons for 0 (any other value: large).
TSystemImageList* GetSystemImageListHandle(int small);

// Index, valid in both lists, of the icon for a file of that name (text in
// the client's code page); a null name gives the index of the empty-row icon.
// `flags` is reserved and passed as 0.
int GetSystemIconIndexA(const char* fileName, int flags);
