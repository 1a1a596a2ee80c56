// The settings dialog on Qt: its widgets by control number, driven by `CSettingsDlg`.
#pragma once

#include "app/settings_dialog.h"
#include "gui/widget_dialog.h"
#include "platform/qt/qt_message_boxes.h"

#include <QDialog>

namespace store {
class KeyStore;
}

namespace gui {

class SettingsWindow : public QDialog, public app::FolderChooser {
public:
    // Shows the stored settings at once; `exec` returns Accepted after OK has written them.
    SettingsWindow(store::KeyStore& store, QWidget* parent = nullptr);

    platform::Dialog& Dialog() { return m_Dialog; }
    app::CSettingsDlg& Logic() { return m_Logic; }

    bool ChooseFolder(const std::string& title, std::string& folder) override;

private:
    WidgetDialog m_Dialog;
    platform::QtMessageBoxes m_Boxes;
    app::CSettingsDlg m_Logic;
};

} // namespace gui
