#pragma once
// Scripts that answer the connection wizard when a test makes the program open it.

#include "wizards/ConnWiz.h"
#include "wizards/WizardSheet.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QString>
#include <QTest>

#include <functional>

namespace wvtest {

// Walks the connection wizard to its last page (choosing several devices on the line when
// network is set), optionally renames, sets find-on-finish and presses Finish.
inline std::function<void(CWizardSheet&)> FinishWizard(const QString& name, bool findOnFinish, bool network = false)
{
    return [name, findOnFinish, network](CWizardSheet& sheet) {
        if (network) {
            auto* many = sheet.findChild<QAbstractButton*>(QString::number(kIdConnManyDevices));
            ASSERT_NE(many, nullptr);
            QTest::mouseClick(many, Qt::LeftButton, {}, QPoint(6, many->height() / 2));
            ASSERT_TRUE(many->isChecked());
        }
        for (int page = 0; page < 3; ++page) {
            QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
        }
        if (!name.isEmpty()) {
            auto* edit = sheet.findChild<QLineEdit*>(QString::number(kIdConnName));
            ASSERT_NE(edit, nullptr);
            edit->clear();
            QTest::keyClicks(edit, name);
        }
        auto* find = sheet.findChild<QCheckBox*>(QString::number(kIdConnFindOnFinish));
        ASSERT_NE(find, nullptr);
        find->setChecked(findOnFinish);
        QTest::mouseClick(sheet.FinishButton(), Qt::LeftButton);
    };
}


} // namespace wvtest
