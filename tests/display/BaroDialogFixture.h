#pragma once
// A started program for the barometric dialogs' tests: the message boxes are answered and
// recorded by the application fixture, and a modal dialog of a given class is handed to a
// script once it shows (a watch armed before the call that opens it).

#include "tests/app/AppFixture.h"

#include <QApplication>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wvtest {

class BaroDialogFixture : public AppFixture {
protected:
    // Runs script on the next modal dialog of class T that shows (once per dialog).
    template <typename T>
    void WhenShown(std::function<void(T&)> script)
    {
        auto timer = std::make_shared<QTimer>();
        timer->setInterval(5);
        QTimer* watch = timer.get();  // owned by watches_
        QObject::connect(watch, &QTimer::timeout, [watch, script] {
            auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
            if (dialog == nullptr || dialog->property("wvbaroSeen").toBool()) {
                return;
            }
            dialog->setProperty("wvbaroSeen", true);
            watch->stop();
            script(*dialog);
        });
        timer->start();
        watches_.push_back(timer);
    }
    // The text shown by the last message box and the messages' caption ids.
    std::string LastText() { return Frame().lastMessageText; }
    std::vector<uint32_t> Captions() const
    {
        std::vector<uint32_t> ids;
        for (const SiteMessage& m : messages) {
            ids.push_back(m.captionId);
        }
        return ids;
    }
    void TearDown() override
    {
        watches_.clear();
        AppFixture::TearDown();
    }

    std::vector<std::shared_ptr<QTimer>> watches_;
};

} // namespace wvtest
