// The settings dialog's widgets: output folder choice and the global check boxes.
#include "gui/settings_window.h"

#include "platform/control_ids.h"

#include "gui/file_dialogs.h"
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace gui {

using namespace platform::settings_dialog;
using K = platform::ControlKind;

SettingsWindow::SettingsWindow(store::KeyStore& store, QWidget* parent)
    : QDialog(parent), m_Dialog(this), m_Logic(m_Dialog, store, *this) {
    auto* layout = new QVBoxLayout(this);

    auto* global = new QGroupBox("Global Settings", this);
    auto* globalLayout = new QVBoxLayout(global);
    for (auto [id, caption] : {std::pair{kDeleteMpv, "Delete MPV after successful pulldown"},
                               std::pair{kAutoBias, "Auto determine bias setting"},
                               std::pair{kCcePriority, "Run CCE at \"Below Normal\" priority"},
                               std::pair{kHideCceWindow, "Hide CCE main window on execution."},
                               std::pair{kEnableLogging, "Enable Logging"}}) {
        auto* check = new QCheckBox(caption, global);
        globalLayout->addWidget(check);
        m_Dialog.AddControl(id, K::CheckBox, check);
    }
    layout->addWidget(global);

    auto* output = new QGroupBox("Output Path", this);
    auto* outputLayout = new QVBoxLayout(output);
    auto* same = new QRadioButton("Place output in same directory as assets", output);
    auto* selected = new QRadioButton("Place output in the directory selected below", output);
    for (QRadioButton* radio : {same, selected}) {
        // Exclusive by hand: a fresh store shows neither choice set.
        radio->setAutoExclusive(false);
        outputLayout->addWidget(radio);
    }
    m_Dialog.AddControl(kOutputSameDir, K::Radio, same);
    m_Dialog.AddControl(kOutputSelected, K::Radio, selected);
    auto* folderRow = new QHBoxLayout;
    auto* folder = new QLineEdit(output);
    folder->setReadOnly(true);
    folder->setMinimumWidth(300);
    m_Dialog.AddControl(kOutputDirectory, K::Edit, folder);
    auto* browse = new QPushButton("B&rowse", output);
    m_Dialog.AddControl(kBrowse, K::Button, browse);
    folderRow->addWidget(folder, 1);
    folderRow->addWidget(browse);
    outputLayout->addLayout(folderRow);
    layout->addWidget(output);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_Dialog.AddControl(kOk, K::Button, buttons->button(QDialogButtonBox::Ok));
    m_Dialog.AddControl(kCancel, K::Button, buttons->button(QDialogButtonBox::Cancel));
    layout->addWidget(buttons);

    connect(same, &QRadioButton::clicked, this, [this] {
        m_Dialog.CheckRadioButton(kOutputSameDir, kOutputSelected, kOutputSameDir);
        m_Logic.OnOutputSameDir();
    });
    connect(selected, &QRadioButton::clicked, this, [this] {
        m_Dialog.CheckRadioButton(kOutputSameDir, kOutputSelected, kOutputSelected);
        m_Logic.OnOutputSelected();
    });
    connect(browse, &QPushButton::clicked, this, [this] { m_Logic.OnBrowse(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (m_Logic.OnOK()) {
            accept();
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] {
        m_Logic.OnCancel();
        reject();
    });

    m_Logic.OnInitDialog();
}

bool SettingsWindow::ChooseFolder(const std::string& title, std::string& folder) {
    QString chosen = ChooseExistingFolder(this, QString::fromStdString(title));
    if (chosen.isEmpty()) {
        return false;
    }
    folder = chosen.toLocal8Bit().toStdString();
    return true;
}

} // namespace gui
