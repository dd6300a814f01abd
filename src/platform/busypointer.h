// The busy pointer, shown for as long as a guard object lives.
#pragma once

#include <QApplication>

namespace kestrova::platform {

// Holds the wait cursor over every window of the program; an early return or an exception
// still gives the normal pointer back. Guards nest.
class BusyPointer
{
public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

} // namespace kestrova::platform
