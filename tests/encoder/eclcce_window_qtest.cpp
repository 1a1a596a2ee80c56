// The runner's settings window on real widgets: what it shows, Save, a save that fails, Cancel
// and Escape (also with the priority list open), and Browse.
#include "settings_window.h"
#include "support/test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const QString kCce = QString(VANTAQ_PROGRAM_DIR) + "/cce";
const std::string kProfile = "[EclCCE]\nCCE=/old/cce\nPriority=-1\nOther=1\n";

class EclCceSettingsWindow : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(WriteFile(m_Ini, kProfile)); }
    // Opens the window on `ini` (read and written) and waits until it is shown.
    void Open(const std::string& ini) { Open(env::RunnerProfile{ini, ini}); }
    void Open(const env::RunnerProfile& profile) {
        m_Window = std::make_unique<eclcce::SettingsWindow>(profile);
        m_Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_Window.get()));
    }
    template <typename T> T* Child(const char* name) {
        T* w = m_Window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void TypeEncoder(const QString& path) {
        QLineEdit* edit = Child<QLineEdit>("encoder");
        edit->selectAll();
        QTest::keyClicks(edit, path);
    }

    TempDir m_Dir;
    std::string m_Ini = m_Dir.File("EclCCE.ini");
    std::unique_ptr<eclcce::SettingsWindow> m_Window;
};

TEST_F(EclCceSettingsWindow, ShowsTheProfileAndSavesWhatTheUserChose) {
    Open(m_Ini);
    EXPECT_EQ(Child<QLineEdit>("encoder")->text(), "/old/cce");
    EXPECT_EQ(Child<QComboBox>("priority")->currentIndex(), 0);
    EXPECT_EQ(Child<QLabel>("note")->text(), "There is no executable file there yet.");

    TypeEncoder(kCce);
    EXPECT_EQ(Child<QLabel>("note")->text(), "");
    QComboBox* priority = Child<QComboBox>("priority");
    priority->setFocus();
    QTest::keyClick(priority, Qt::Key_Down);
    EXPECT_EQ(priority->currentIndex(), 1);

    QSignalSpy accepted(m_Window.get(), &QDialog::accepted);
    QTest::mouseClick(Child<QPushButton>("save"), Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_EQ(ReadFile(m_Ini), "[EclCCE]\nCCE=" + kCce.toStdString() + "\nPriority=64\nOther=1\n");

    // Opened again, it shows what was saved.
    Open(m_Ini);
    EXPECT_EQ(Child<QLineEdit>("encoder")->text(), kCce);
    EXPECT_EQ(Child<QComboBox>("priority")->currentIndex(), 1);
}

TEST_F(EclCceSettingsWindow, ASharedProfileIsSavedToTheUsersOwnCopy) {
    const std::string own = m_Dir.File("config/vantaq/EclCCE.ini");
    Open(env::RunnerProfile{m_Ini, own});
    EXPECT_TRUE(Child<QLabel>("where")->text().contains(QString::fromStdString(own)));
    EXPECT_EQ(Child<QLineEdit>("encoder")->text(), "/old/cce");
    TypeEncoder(kCce);
    QTest::mouseClick(Child<QPushButton>("save"), Qt::LeftButton);
    EXPECT_FALSE(m_Window->isVisible());
    EXPECT_EQ(ReadFile(m_Ini), kProfile);
    EXPECT_EQ(ReadFile(own), "[EclCCE]\nCCE=" + kCce.toStdString() + "\nPriority=-1\nOther=1\n");
}

TEST_F(EclCceSettingsWindow, AFailedSaveIsShownAndTheWindowStays) {
    Open(m_Dir.File("no-such-folder/EclCCE.ini"));
    TypeEncoder(kCce);
    QSignalSpy accepted(m_Window.get(), &QDialog::accepted);
    QTest::mouseClick(Child<QPushButton>("save"), Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 0);
    EXPECT_TRUE(m_Window->isVisible());
    EXPECT_TRUE(Child<QLabel>("note")->text().startsWith("Not saved: "))
        << Child<QLabel>("note")->text().toStdString();
}

TEST_F(EclCceSettingsWindow, CancelAndEscapeWriteNothing) {
    Open(m_Ini);
    TypeEncoder(kCce);
    QSignalSpy rejected(m_Window.get(), &QDialog::rejected);
    // Escape with the priority list open closes the list only.
    QComboBox* priority = Child<QComboBox>("priority");
    priority->showPopup();
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
    EXPECT_TRUE(m_Window->isVisible());
    EXPECT_EQ(rejected.count(), 0);
    QTest::keyClick(Child<QLineEdit>("encoder"), Qt::Key_Escape);
    EXPECT_EQ(rejected.count(), 1);
    EXPECT_FALSE(m_Window->isVisible());

    Open(m_Ini);
    TypeEncoder(kCce);
    QTest::mouseClick(Child<QPushButton>("cancel"), Qt::LeftButton);
    EXPECT_FALSE(m_Window->isVisible());
    EXPECT_EQ(ReadFile(m_Ini), kProfile);
}

TEST_F(EclCceSettingsWindow, BrowseFillsInTheChosenProgram) {
    Open(m_Ini);
    QTest::mouseClick(Child<QPushButton>("browse"), Qt::LeftButton);
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        dialog = m_Window->findChild<QFileDialog*>("browseDialog");
        return dialog != nullptr && dialog->isVisible();
    }));
    dialog->selectFile(kCce);
    QWidget* focus = dialog->focusWidget();
    QTest::keyClick(focus ? focus : dialog, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Child<QLineEdit>("encoder")->text() == kCce; }));
    EXPECT_EQ(Child<QLabel>("note")->text(), "");
}

} // namespace
