// The settings dialog's widgets: output folder choice and the global check boxes.
#include "gui/settings_window.h"

#include "cluster/cluster_settings.h"
#include "platform/control_ids.h"

#include "gui/file_dialogs.h"
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace gui {

using namespace platform::settings_dialog;
using K = platform::ControlKind;

SettingsWindow::SettingsWindow(store::KeyStore& store, QWidget* parent)
    : QDialog(parent), m_Dialog(this), m_Boxes(this), m_Logic(m_Dialog, store, *this, m_Boxes) {
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
    // Typed or chosen with Browse; OK checks it.
    auto* folder = new QLineEdit(output);
    folder->setMinimumWidth(300);
    folder->setPlaceholderText("a folder you may write in");
    m_Dialog.AddControl(kOutputDirectory, K::Edit, folder);
    auto* browse = new QPushButton("B&rowse", output);
    m_Dialog.AddControl(kBrowse, K::Button, browse);
    folderRow->addWidget(folder, 1);
    folderRow->addWidget(browse);
    outputLayout->addLayout(folderRow);
    layout->addWidget(output);

    auto* where = new QGroupBox("Run Encodes", this);
    auto* whereLayout = new QVBoxLayout(where);
    auto* here = new QRadioButton("Run encodes on this machine", where);
    auto* slurm = new QRadioButton("Run encodes on a Slurm cluster", where);
    for (QRadioButton* radio : {here, slurm}) {
        radio->setAutoExclusive(false);
        whereLayout->addWidget(radio);
    }
    m_Dialog.AddControl(kRunHere, K::Radio, here);
    m_Dialog.AddControl(kRunOnSlurm, K::Radio, slurm);
    auto* clusterForm = new QFormLayout;
    auto* partition = new QLineEdit(where);
    partition->setPlaceholderText("the cluster's default");
    auto* maxJobs = new QLineEdit(where);
    maxJobs->setValidator(new QIntValidator(1, cluster::kMaxMaxJobs, maxJobs));
    auto* options = new QPlainTextEdit(where);
    options->setPlaceholderText("--time=2:00:00\n--mem=2G");
    options->setTabChangesFocus(true);
    options->setMaximumHeight(80);
    clusterForm->addRow("&Partition:", partition);
    clusterForm->addRow("At &most jobs at once:", maxJobs);
    clusterForm->addRow("Extra &sbatch arguments,\none per line:", options);
    whereLayout->addLayout(clusterForm);
    m_Dialog.AddControl(kSlurmPartition, K::Edit, partition);
    m_Dialog.AddControl(kSlurmMaxJobs, K::Edit, maxJobs);
    m_Dialog.AddControl(kSlurmOptions, K::Edit, options);
    layout->addWidget(where);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_Dialog.AddControl(kOk, K::Button, buttons->button(QDialogButtonBox::Ok));
    m_Dialog.AddControl(platform::settings_dialog::kCancel, K::Button,
                        buttons->button(QDialogButtonBox::Cancel));
    layout->addWidget(buttons);

    connect(same, &QRadioButton::clicked, this, [this] {
        m_Dialog.CheckRadioButton(kOutputSameDir, kOutputSelected, kOutputSameDir);
        m_Logic.OnOutputSameDir();
    });
    connect(selected, &QRadioButton::clicked, this, [this] {
        m_Dialog.CheckRadioButton(kOutputSameDir, kOutputSelected, kOutputSelected);
        m_Logic.OnOutputSelected();
    });
    connect(here, &QRadioButton::clicked, this, [this] {
        m_Dialog.CheckRadioButton(kRunHere, kRunOnSlurm, kRunHere);
        m_Logic.OnRunHere();
    });
    connect(slurm, &QRadioButton::clicked, this, [this] {
        m_Dialog.CheckRadioButton(kRunHere, kRunOnSlurm, kRunOnSlurm);
        m_Logic.OnRunOnSlurm();
    });
    connect(browse, &QPushButton::clicked, this, [this] { m_Logic.OnBrowse(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this, folder] {
        if (m_Logic.OnOK()) {
            accept();
        } else {
            // The folder was refused: it is the one to change. The window manager may have
            // given the focus to the main window when the box closed; it comes back here.
            activateWindow();
            folder->setFocus();
            folder->selectAll();
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
