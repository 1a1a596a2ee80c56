// The runner's settings window: the encoder program and the priority, saved into its profile.
#include "settings_window.h"

#include "runner.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <csignal>

namespace eclcce {

namespace {

constexpr int kDefaultPriority = 0; // combo rows
constexpr int kIdlePriority = 1;

} // namespace

SettingsWindow::SettingsWindow(env::RunnerProfile profile, QWidget* parent)
    : QDialog(parent), m_Profile(std::move(profile)) {
    setWindowTitle("EclCCE settings");
    const Profile keys = ReadProfile(m_Profile.path);

    m_Encoder = new QLineEdit(this);
    m_Encoder->setObjectName("encoder");
    m_Encoder->setMinimumWidth(360);
    if (keys.hasCce && keys.cce != "NotFound") {
        m_Encoder->setText(QString::fromStdString(keys.cce));
    }
    auto* browse = new QPushButton("&Browse...", this);
    browse->setObjectName("browse");
    browse->setAutoDefault(false);
    auto* encoderRow = new QHBoxLayout;
    encoderRow->addWidget(m_Encoder);
    encoderRow->addWidget(browse);

    m_Priority = new QComboBox(this);
    m_Priority->setObjectName("priority");
    m_Priority->addItem("Default (-1): the runner's own priority");
    m_Priority->addItem("Idle (64): nice 19, idle I/O class");
    m_Priority->setCurrentIndex(keys.priority == "64" ? kIdlePriority : kDefaultPriority);

    m_Note = new QLabel(this);
    m_Note->setObjectName("note");
    m_Note->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow("Encoder program (cce):", encoderRow);
    form->addRow("Priority:", m_Priority);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* save = buttons->addButton(QDialogButtonBox::Save);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    save->setObjectName("save");
    cancel->setObjectName("cancel");

    auto* layout = new QVBoxLayout(this);
    QString whereText = "Profile: " + QString::fromStdString(m_Profile.path);
    if (m_Profile.writePath != m_Profile.path) {
        whereText += "\nSaved to: " + QString::fromStdString(m_Profile.writePath) +
                     " (the program folder is not writable)";
    }
    auto* where = new QLabel(whereText, this);
    where->setObjectName("where");
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(where);
    layout->addLayout(form);
    layout->addWidget(m_Note);
    layout->addWidget(buttons);

    connect(m_Encoder, &QLineEdit::textChanged, this, [this] { UpdateNote(); });
    connect(browse, &QPushButton::clicked, this, [this] { Browse(); });
    connect(save, &QPushButton::clicked, this, [this] { Save(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    UpdateNote();
}

void SettingsWindow::UpdateNote() {
    const std::string path = m_Encoder->text().toStdString();
    if (path.empty()) {
        m_Note->setText("Choose the encoder program that EclCCE runs.");
    } else if (!IsExecutableFile(AbsolutePath(path))) {
        m_Note->setText("There is no executable file there yet.");
    } else {
        m_Note->clear();
    }
}

void SettingsWindow::Browse() {
    // An object rather than the static helper, so that it is Qt's own dialog everywhere.
    auto* dialog = new QFileDialog(this, "Encoder program");
    dialog->setObjectName("browseDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFile);
    const QString current = m_Encoder->text();
    if (!current.isEmpty()) {
        dialog->selectFile(current);
    }
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& file) { m_Encoder->setText(file); });
    dialog->open();
}

void SettingsWindow::Save() {
    const std::string path = m_Encoder->text().toStdString();
    if (path.empty()) {
        UpdateNote();
        return;
    }
    std::string error;
    if (!SaveProfile(m_Profile, path, m_Priority->currentIndex() == kIdlePriority, error)) {
        m_Note->setText("Not saved: " + QString::fromStdString(error));
        return;
    }
    accept();
}

int RunSettingsWindow(int argc, char** argv, const env::RunnerProfile& profile) {
    // No encoder runs here to pass a termination signal to: it ends the window as usual.
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        std::signal(sig, SIG_DFL);
    }
    QApplication application(argc, argv);
    SettingsWindow window(profile);
    window.show();
    window.exec();
    return 0;
}

} // namespace eclcce
