#include "app/wdRunOnce.h"

#include "app/window_restorer.h"
#include "platform/instance_slot.h"

#include <memory>

namespace {

// The guard's own state; nothing outside this module reaches it.
struct Guard
{
    std::unique_ptr<TInstanceSlot> slot;
    std::unique_ptr<TWindowRestorer> restorer;
    std::function<void(QWidget*)> observer;
};

Guard& guard()
{
    static Guard instance;
    return instance;
}

} // namespace

void RunOnceInit()
{
    RunOnceInit(TInstanceSlot::DefaultName());
}

void RunOnceInit(const QString& slotName)
{
    Guard& g = guard();
    g.slot = std::make_unique<TInstanceSlot>(slotName);
    g.slot->Open();
}

bool RunOnceCheck()
{
    Guard& g = guard();
    if (!g.slot)
        return false;
    if (g.slot->Check())
        return true;
    g.restorer = std::make_unique<TWindowRestorer>();
    QObject::connect(g.slot.get(), &TInstanceSlot::restoreRequested, g.restorer.get(), [] {
        Guard& g = guard();
        QWidget* front = g.restorer->Restore();
        if (g.observer)
            g.observer(front);
    });
    return false;
}

void RunOnceDone()
{
    Guard& g = guard();
    g.restorer.reset();
    g.slot.reset();
}

void RunOnceSetRestoreObserver(std::function<void(QWidget* front)> observer)
{
    guard().observer = std::move(observer);
}
