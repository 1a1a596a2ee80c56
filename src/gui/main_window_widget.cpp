// The main window's widgets and layout, its menus, and the events it passes to the logic.
#include "gui/main_window_widget.h"

#include "gui/file_dialogs.h"
#include "gui/icons.h"
#include "gui/row_source_model.h"
#include "gui/settings_window.h"
#include "gui/up_down.h"
#include "jobs/job_panels.h"
#include "platform/control_ids.h"
#include "platform/qt/qt_message_boxes.h"
#include "source/source_info.h"

#include <tuple>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <utility>

namespace gui {

using namespace platform::main_window;
using K = platform::ControlKind;

namespace {

// A drop-down list that the mouse wheel changes only while it has the focus; otherwise the
// wheel scrolls the panel around it.
class FocusedWheelComboBox : public QComboBox {
public:
    explicit FocusedWheelComboBox(QWidget* parent) : QComboBox(parent) {
        // Some styles give a drop-down list the focus on a turn of the wheel, which would
        // make every turn over it a choice.
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void wheelEvent(QWheelEvent* event) override {
        if (!hasFocus()) {
            event->ignore();
            return;
        }
        QComboBox::wheelEvent(event);
    }
};

} // namespace

MainWindowWidget::MainWindowWidget(store::KeyStore& store) : m_Store(store), m_Dialog(this) {
    setWindowTitle("Vantaq");
    setWindowIcon(ProgramIcon());

    // The job editor scrolls, and the log shares the height through a splitter, so that the
    // window fits small screens and grows sensibly on large ones.
    auto* central = new QSplitter(Qt::Vertical, this);
    central->setChildrenCollapsible(false);
    auto* top = new QWidget(central);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->addWidget(BuildJobsPanel(), 4);
    // The editor's buttons stay below its scrolling fields, so that New Job and Add Job are in
    // sight on a small screen too.
    auto* editor = new QWidget(top);
    auto* editorLayout = new QVBoxLayout(editor);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    auto* info = new QScrollArea(editor);
    info->setWidgetResizable(true);
    info->setFrameShape(QFrame::NoFrame);
    info->setWidget(BuildJobInfoPanel());
    editorLayout->addWidget(info, 1);
    editorLayout->addWidget(BuildEditorButtons(editor));
    topLayout->addWidget(editor, 5);
    central->addWidget(top);
    central->addWidget(BuildLogPanel());
    central->setStretchFactor(0, 3);
    central->setStretchFactor(1, 1);
    setCentralWidget(central);
    BuildMenus();
    SetTabOrder();

    QSize size(980, 700);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        // Room for the window manager's frame.
        size = size.boundedTo(screen->availableGeometry().size() - QSize(20, 40));
    }
    resize(size);
}

void MainWindowWidget::SetTabOrder() {
    const int order[] = {kJobList,
                         kMoveUp,
                         kDelete,
                         kMoveDown,
                         kReset,
                         kStart,
                         kStop,
                         kStopAfterJob,
                         kClear,
                         kName,
                         kInputFile,
                         kTemplateList,
                         kTemplateEdit,
                         kPicture,
                         kAspectSquare,
                         kAspect4x3,
                         kAspect16x9,
                         kBitrateMin,
                         kBitrateMax,
                         kBitrateAvg,
                         kPasses,
                         kQFactor,
                         kBias,
                         kQuality,
                         kPulldown,
                         kTopFieldFirst,
                         kProgressive,
                         kAlternateScan,
                         kAngle,
                         kStartFrame,
                         kEndFrame,
                         kChapterFile,
                         kChapterBrowse,
                         kChapterList,
                         kConvertToFilm,
                         kJobPartition,
                         kJobTimeLimit,
                         kJobCpus,
                         kOutputSize,
                         kCalc,
                         kSetTemplateDefault,
                         kNewJob,
                         kAddJob,
                         kCancel,
                         kLogList,
                         kLogDebugInfo,
                         kExit};
    QWidget* previous = nullptr;
    for (int id : order) {
        QWidget* widget = m_Dialog.Widget(id);
        if (previous != nullptr && widget != nullptr) {
            setTabOrder(previous, widget);
        }
        previous = widget != nullptr ? widget : previous;
    }
}

QWidget* MainWindowWidget::BuildJobsPanel() {
    // "&Jobs" would share Alt+J with "New &Job".
    auto* box = new QGroupBox("J&obs", this);
    auto* layout = new QHBoxLayout(box);
    // The rows come from the store a page at a time: only what is on screen is read.
    auto* list = new QListView(box);
    list->setModel(new RowSourceModel(JobStatusIcon, list));
    list->setIconSize(QSize(16, 16));
    list->setUniformItemSizes(true);
    // Several jobs can be deleted, reset or moved at once.
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setMinimumWidth(220);
    layout->addWidget(list, 1);
    m_Dialog.AddControl(kJobList, K::ListBox, list);
    m_Dialog.SetImages(kJobList, JobStatusIcon);
    SetUpJobListDetails(list);
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (m_Logic) {
            m_Logic->OnJobSelectionChanged();
        }
    });
    connect(list, &QListView::doubleClicked, this, [this] {
        if (m_Logic) {
            m_Logic->OnJobDoubleClick();
        }
    });

    auto* column = new QVBoxLayout;
    struct IconButton {
        int id;
        ButtonIcon icon;
        const char* tip;
    };
    const IconButton buttons[] = {
        {kMoveUp, ButtonIcon::MoveUp, "Move the selected job up in the Job List."},
        {kDelete, ButtonIcon::Delete, "Delete the selected job from the Job List."},
        {kMoveDown, ButtonIcon::MoveDown, "Move the selected job down in the Job List."},
        {kReset, ButtonIcon::Reset, "Reset the selected job to pending status."},
        {kStart, ButtonIcon::Start, "Start processing the jobs in the Job List."},
        {kStop, ButtonIcon::Stop, "Stop processing!!!"},
        {kStopAfterJob, ButtonIcon::Stop, "Stop processing when the current job has ended."},
        {kClear, ButtonIcon::Clear, "Clear all jobs from the Job List."},
    };
    for (const IconButton& b : buttons) {
        if (b.id == kStart) {
            column->addSpacing(14);
        }
        auto* button = new QToolButton(box);
        button->setIcon(b.id == kStopAfterJob ? style()->standardIcon(QStyle::SP_MediaPause)
                                              : JobButtonIcon(b.icon));
        button->setIconSize(QSize(16, 16));
        button->setFixedSize(30, 28);
        button->setAutoRaise(true);
        button->setToolTip(b.tip);
        column->addWidget(button);
        m_Dialog.AddControl(b.id, K::Button, button);
    }
    column->addStretch(1);
    layout->addLayout(column);
    Connect(kMoveUp, &app::CMainWindow::OnMoveJobUp);
    Connect(kDelete, &app::CMainWindow::OnDeleteJob);
    Connect(kMoveDown, &app::CMainWindow::OnMoveJobDown);
    Connect(kReset, &app::CMainWindow::OnResetJob);
    Connect(kStart, &app::CMainWindow::OnStartProcessing);
    Connect(kStop, &app::CMainWindow::OnStopProcessing);
    Connect(kStopAfterJob, &app::CMainWindow::OnStopAfterThisJob);
    Connect(kClear, &app::CMainWindow::OnClearJobList);
    return box;
}

QLineEdit* MainWindowWidget::AddEdit(int id, bool readOnly) {
    auto* edit = new QLineEdit(this);
    edit->setReadOnly(readOnly);
    m_Dialog.AddControl(id, K::Edit, edit);
    return edit;
}

void MainWindowWidget::AddNumberField(QGridLayout* grid, int row, const char* label, int field,
                                      int spin, bool digitsOnly) {
    QLineEdit* edit = AddEdit(field, false);
    edit->setMaximumWidth(64);
    if (digitsOnly) {
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    }
    auto* upDown = new UpDown(edit, this);
    m_Dialog.AddControl(spin, K::Spin, upDown);
    if (spin == kBitrateAvgSpin) {
        upDown->SetOnStep([this](int step) {
            if (m_Logic) {
                m_Logic->OnBitrateAvgSpin(step);
            }
        });
        connect(edit, &QLineEdit::editingFinished, this, [this] {
            if (m_Logic) {
                m_Logic->OnBitrateAvgKillFocus();
            }
        });
    }
    auto* caption = new QLabel(label, this);
    caption->setBuddy(edit);
    grid->addWidget(caption, row, 0);
    auto* pair = new QHBoxLayout;
    pair->setSpacing(0);
    pair->addWidget(edit);
    pair->addWidget(upDown);
    pair->addStretch(1);
    grid->addLayout(pair, row, 1);
}

QWidget* MainWindowWidget::BuildJobInfoPanel() {
    auto* box = new QGroupBox("Job &Info", this);
    auto* layout = new QVBoxLayout(box);

    auto* head = new QGridLayout;
    auto addRow = [&](int row, const char* label, QWidget* field, QWidget* extra = nullptr) {
        auto* caption = new QLabel(label, box);
        caption->setBuddy(field);
        head->addWidget(caption, row, 0);
        head->addWidget(field, row, 1, 1, extra ? 1 : 2);
        if (extra) {
            head->addWidget(extra, row, 2);
        }
    };
    addRow(0, "&Name", AddEdit(kName, false));
    addRow(1, "In&put File", AddEdit(kInputFile, true));
    auto* templates = new FocusedWheelComboBox(box);
    templates->setEnabled(false);
    m_Dialog.AddControl(kTemplateList, K::ComboBox, templates);
    // `activated` comes from the user's choice only.
    connect(templates, &QComboBox::activated, this, [this] {
        if (m_Logic) {
            m_Logic->OnSelchangeTemplate();
        }
    });
    auto* edit = new QPushButton("&Edit", box);
    edit->setEnabled(false);
    // The one control that is never offered: its hint says what to use instead.
    edit->setToolTip("Templates are not edited here.\n(Set the values in the editor and press "
                     "\"Set as Template Default\".)");
    m_Dialog.AddControl(kTemplateEdit, K::Button, edit);
    addRow(2, "&Template", templates, edit);
    // Whether the job keeps the source's picture or is fitted to a DVD frame.
    auto* picture = new FocusedWheelComboBox(box);
    picture->setEnabled(false);
    picture->setToolTip("Keep the source's size and rate, or scale and pad it whole into a DVD "
                        "frame of the standard chosen, converting its rate");
    m_Dialog.AddControl(kPicture, K::ComboBox, picture);
    addRow(3, "Picture", picture);
    head->setColumnStretch(1, 1);
    layout->addLayout(head);
    AddEdit(kTemplateOrder, true)->hide();

    // Aspect, bitrates and encoding numbers side by side.
    auto* numbers = new QHBoxLayout;
    // "&Aspect Ratio" would share Alt+A with "&Add Job".
    auto* aspect = new QGroupBox("A&spect Ratio", box);
    auto* aspectLayout = new QVBoxLayout(aspect);
    for (auto [id, caption] : {std::pair{kAspectSquare, "SAR 1:1"}, std::pair{kAspect4x3, "4:3"},
                               std::pair{kAspect16x9, "16:9"}}) {
        auto* radio = new QRadioButton(caption, aspect);
        // Radios are exclusive by hand, so that "none checked" stays possible.
        radio->setAutoExclusive(false);
        aspectLayout->addWidget(radio);
        m_Dialog.AddControl(id, K::Radio, radio);
        connect(radio, &QRadioButton::clicked, this,
                [this, id = id] { m_Dialog.CheckRadioButton(kAspectSquare, kAspect16x9, id); });
    }
    aspectLayout->addStretch(1);
    numbers->addWidget(aspect);

    auto* bitrates = new QGroupBox("Bitrate (kbps)", box);
    auto* bitrateGrid = new QGridLayout(bitrates);
    AddNumberField(bitrateGrid, 0, "Min", kBitrateMin, kBitrateMinSpin, true);
    AddNumberField(bitrateGrid, 1, "Max", kBitrateMax, kBitrateMaxSpin, true);
    AddNumberField(bitrateGrid, 2, "Avg", kBitrateAvg, kBitrateAvgSpin, true);
    numbers->addWidget(bitrates);

    auto* encoding = new QGroupBox("Encoding", box);
    auto* encodingGrid = new QGridLayout(encoding);
    AddNumberField(encodingGrid, 0, "Passes", kPasses, kPassesSpin, true);
    AddNumberField(encodingGrid, 1, "QFactor", kQFactor, kQFactorSpin, true);
    AddNumberField(encodingGrid, 2, "Bias", kBias, kBiasSpin, false);
    AddNumberField(encodingGrid, 3, "Quality", kQuality, kQualitySpin, false);
    numbers->addWidget(encoding);
    layout->addLayout(numbers);

    // Field flags, frame range and the source's file information.
    auto* middle = new QHBoxLayout;
    auto* flags = new QGroupBox("Flags", box);
    auto* flagsLayout = new QVBoxLayout(flags);
    for (auto [id, caption] :
         {std::pair{kPulldown, "2:3 Pulldown"}, std::pair{kTopFieldFirst, "Top Field First"},
          std::pair{kProgressive, "Progressive"}, std::pair{kAlternateScan, "Alternate Scan"},
          std::pair{kAngle, "Angle"}}) {
        auto* check = new QCheckBox(caption, flags);
        flagsLayout->addWidget(check);
        m_Dialog.AddControl(id, K::CheckBox, check);
    }
    flagsLayout->addStretch(1);
    middle->addWidget(flags);

    auto* frames = new QGroupBox("Frames", box);
    auto* framesGrid = new QGridLayout(frames);
    AddNumberField(framesGrid, 0, "Start", kStartFrame, kStartFrameSpin, true);
    AddNumberField(framesGrid, 1, "End", kEndFrame, kEndFrameSpin, true);
    framesGrid->setRowStretch(2, 1);
    auto* framesAndCluster = new QVBoxLayout;
    framesAndCluster->addWidget(frames);

    // The job's own Slurm resources; empty fields take the settings'.
    auto* cluster = new QGroupBox("Cluster", box);
    auto* clusterGrid = new QGridLayout(cluster);
    int clusterRow = 0;
    for (auto [id, caption, tip] :
         {std::tuple{kJobPartition, "Partition",
                     "The Slurm partition of this job; empty: the partition in Settings"},
          std::tuple{kJobTimeLimit, "Time limit",
                     "Slurm's time limit of this job: minutes, HH:MM:SS or D-HH:MM:SS; empty: "
                     "none of its own"},
          std::tuple{kJobCpus, "CPUs",
                     "CPUs for this job's encode on a node; empty: the cluster's default"}}) {
        QLineEdit* edit = AddEdit(id, false);
        edit->setMaximumWidth(96);
        edit->setToolTip(tip);
        auto* label = new QLabel(caption, cluster);
        label->setBuddy(edit);
        clusterGrid->addWidget(label, clusterRow, 0);
        clusterGrid->addWidget(edit, clusterRow, 1);
        ++clusterRow;
    }
    framesAndCluster->addWidget(cluster);
    middle->addLayout(framesAndCluster);

    auto* info = new QGroupBox("File Info", box);
    auto* infoGrid = new QGridLayout(info);
    int row = 0;
    for (auto [id, caption] :
         {std::pair{kInfoResolution, "Resolution"}, std::pair{kInfoFrames, "Frames"},
          std::pair{kInfoFrameRate, "Frame Rate"}, std::pair{kInfoLength, "Length"},
          std::pair{kInfoType, "Type"}}) {
        auto* value = new QLabel(info);
        value->setFrameShape(QFrame::StyledPanel);
        value->setFrameShadow(QFrame::Sunken);
        value->setMinimumWidth(90);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        infoGrid->addWidget(new QLabel(caption, info), row, 0);
        infoGrid->addWidget(value, row, 1);
        m_Dialog.AddControl(id, K::Label, value);
        ++row;
    }
    middle->addWidget(info, 1);
    layout->addLayout(middle);

    auto* chapters = new QGroupBox("Chapters", box);
    auto* chapterGrid = new QGridLayout(chapters);
    chapterGrid->addWidget(AddEdit(kChapterFile, true), 0, 0);
    auto* browse = new QPushButton("&Browse", chapters);
    browse->setToolTip("Select the chapter list file for this job");
    m_Dialog.AddControl(kChapterBrowse, K::Button, browse);
    chapterGrid->addWidget(browse, 0, 1);
    chapterGrid->addWidget(AddEdit(kChapterList, true), 1, 0, 1, 2);
    auto* film = new QCheckBox("Convert Chapters to Film", chapters);
    m_Dialog.AddControl(kConvertToFilm, K::CheckBox, film);
    connect(film, &QCheckBox::clicked, this, [this] {
        if (m_Logic) {
            m_Logic->OnConvertToFilm();
        }
    });
    chapterGrid->addWidget(film, 2, 0, 1, 2);
    layout->addWidget(chapters);

    auto* size = new QHBoxLayout;
    size->addWidget(new QLabel("Output File Size", box));
    QLineEdit* sizeEdit = AddEdit(kOutputSize, true);
    sizeEdit->setMaximumWidth(140);
    size->addWidget(sizeEdit);
    auto* calc = new QPushButton("Calc", box);
    calc->setToolTip("This will calculate the ~filesize of a file encoded with VBR/CBR");
    m_Dialog.AddControl(kCalc, K::Button, calc);
    size->addWidget(calc);
    size->addStretch(1);
    layout->addLayout(size);

    Connect(kChapterBrowse, &app::CMainWindow::OnChapterBrowse);
    Connect(kCalc, &app::CMainWindow::OnCalc);
    layout->addStretch(1);
    return box;
}

QWidget* MainWindowWidget::BuildEditorButtons(QWidget* parent) {
    auto* panel = new QWidget(parent);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    auto* actions = new QHBoxLayout;
    auto addButton = [&](int id, const char* caption, const char* tip) {
        auto* button = new QPushButton(caption, panel);
        button->setToolTip(tip);
        m_Dialog.AddControl(id, K::Button, button);
        actions->addWidget(button);
        return button;
    };
    addButton(kSetTemplateDefault, "Set as Template Default",
              "Set current values\nas template default.");
    actions->addStretch(1);
    addButton(kNewJob, "New &Job", "Create a new job.");
    QPushButton* add = addButton(kAddJob, "&Add Job", "Add/Replace the job in the Job List.");
    addButton(kCancel, "Cancel", "Cancel editing the current job.");
    column->addLayout(actions);
    // Why Add Job cannot be used yet, in words, right under it.
    m_AddJobReason = new QLabel(panel);
    m_AddJobReason->setAlignment(Qt::AlignRight);
    m_AddJobReason->setObjectName("addJobReason");
    column->addWidget(m_AddJobReason);
    add->installEventFilter(this);
    connect(static_cast<QLineEdit*>(m_Dialog.Widget(kInputFile)), &QLineEdit::textChanged, this,
            [this] { UpdateAddJobReason(); });
    connect(static_cast<QComboBox*>(m_Dialog.Widget(kTemplateList)),
            &QComboBox::currentIndexChanged, this, [this] { UpdateAddJobReason(); });

    connect(static_cast<QPushButton*>(m_Dialog.Widget(kNewJob)), &QPushButton::clicked, this,
            [this] { OnNewJob(); });
    Connect(kAddJob, &app::CMainWindow::OnAddJob);
    Connect(kCancel, &app::CMainWindow::OnCancelEdit);
    Connect(kSetTemplateDefault, &app::CMainWindow::OnSetTemplateDefault);
    return panel;
}

void MainWindowWidget::UpdateAddJobReason() {
    if (m_AddJobReason == nullptr) {
        return;
    }
    std::string reason = jobs::AddJobReason(m_Dialog);
    QString text = QString::fromLocal8Bit(reason.c_str());
    m_AddJobReason->setText(text);
    m_Dialog.SetToolTip(kAddJob, "Add/Replace the job in the Job List." +
                                     (reason.empty() ? std::string() : "\n" + reason));
}

void MainWindowWidget::UpdateNewJobHint() {
    std::string reason = m_Logic ? m_Logic->NewJobReason() : std::string();
    QString tip = "Create a new job.";
    if (!reason.empty()) {
        tip += "\n(" + QString::fromLocal8Bit(reason.c_str()) + ")";
    }
    m_Dialog.Widget(kNewJob)->setToolTip(tip);
    if (m_NewJob != nullptr) {
        m_NewJob->setToolTip(tip);
    }
}

QWidget* MainWindowWidget::BuildLogPanel() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* log = new QListWidget(panel);
    log->setIconSize(QSize(16, 16));
    log->setUniformItemSizes(true);
    log->setSelectionMode(QAbstractItemView::NoSelection);
    log->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    log->setMinimumHeight(110);
    m_Dialog.AddControl(kLogList, K::ListBox, log);
    m_Dialog.SetImages(kLogList, LogLevelIcon);
    layout->addWidget(log, 1);

    auto* bottom = new QHBoxLayout;
    auto* debug = new QCheckBox("Log debug info", panel);
    m_Dialog.AddControl(kLogDebugInfo, K::CheckBox, debug);
    connect(debug, &QCheckBox::clicked, this, [this] {
        if (m_Logic) {
            m_Logic->OnLogDebugInfo();
        }
    });
    bottom->addWidget(debug);
    auto* progress = new QProgressBar(panel);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(true);
    progress->setFormat("%p%");
    m_Dialog.AddControl(kProgress, K::Progress, progress);
    bottom->addWidget(progress, 1);
    auto* exit = new QPushButton("E&xit", panel);
    exit->setToolTip("Exit the application.");
    m_Dialog.AddControl(kExit, K::Button, exit);
    Connect(kExit, &app::CMainWindow::OnUserAccept);
    bottom->addWidget(exit);
    layout->addLayout(bottom);
    return panel;
}

void MainWindowWidget::BuildMenus() {
    auto call = [this](void (app::CMainWindow::*handler)()) {
        return [this, handler] {
            if (m_Logic) {
                (m_Logic->*handler)();
            }
        };
    };
    QMenu* file = menuBar()->addMenu("&File");
    // An entry that is off says why in its hint.
    file->setToolTipsVisible(true);
    connect(file, &QMenu::aboutToShow, this, [this] { UpdateNewJobHint(); });
    m_NewJob = file->addAction("New &Job");
    m_NewJob->setShortcut(QKeySequence::New);
    connect(m_NewJob, &QAction::triggered, this, [this] { OnNewJob(); });
    // Offered exactly while the New Job button is.
    MirrorEnabled(m_NewJob, kNewJob);
    m_LoadFileList = file->addAction("&Load File List");
    m_LoadFileList->setShortcut(QKeySequence::Open);
    m_LoadFileList->setEnabled(false);
    connect(m_LoadFileList, &QAction::triggered, this, [this] {
        QString path = ChooseExistingFile(this, "CCE File List (*.txt)");
        if (!path.isEmpty() && m_Logic) {
            m_Logic->OnLoadFileList(path.toLocal8Bit().toStdString());
        }
    });
    connect(file->addAction("&Settings"), &QAction::triggered, this,
            call(&app::CMainWindow::OnSettings));
    file->addSeparator();
    QAction* close = file->addAction("&Close");
    close->setShortcut(QKeySequence::Quit);
    connect(close, &QAction::triggered, this, call(&app::CMainWindow::OnUserAccept));

    // Alt+E belongs to the template's Edit button.
    QMenu* edit = menuBar()->addMenu("E&dit");
    QAction* undo = edit->addAction("&Undo");
    undo->setShortcut(QKeySequence::Undo);
    connect(undo, &QAction::triggered, this, call(&app::CMainWindow::OnUndo));
    // The menu names what Undo would do; the shortcut stays live between openings (the logic
    // says when there is nothing to undo).
    connect(edit, &QMenu::aboutToShow, this, [this, undo] {
        std::string what = m_Logic ? m_Logic->UndoText() : std::string();
        undo->setText(what.empty() ? "&Undo" : QString::fromStdString("&Undo " + what));
        undo->setEnabled(!what.empty());
    });
    connect(edit, &QMenu::aboutToHide, undo, [undo] { undo->setEnabled(true); });

    QMenu* utilities = menuBar()->addMenu("&Utilities");
    utilities->setToolTipsVisible(true);
    m_PulldownUtility = utilities->addAction("2:3 &Pulldown");
    m_PulldownUtility->setEnabled(false);
    // Read from the run each time the menu opens: no pass beside a run or another pass.
    connect(utilities, &QMenu::aboutToShow, this, [this] {
        std::string reason = m_Logic ? m_Logic->PulldownUtilityReason() : std::string();
        m_PulldownUtility->setEnabled(m_Logic && reason.empty());
        QString tip = "Run the 2:3 pulldown pass on an MPEG-2 video stream (.mpv).";
        if (!reason.empty()) {
            tip += "\n(" + QString::fromLocal8Bit(reason.c_str()) + ")";
        }
        m_PulldownUtility->setToolTip(tip);
    });
    connect(m_PulldownUtility, &QAction::triggered, this, [this] {
        if (!m_Logic || m_Logic->RunBusy()) {
            return;
        }
        QString path = ChooseExistingFile(this, "MPEG Video Program Stream (*.mpv)");
        if (!path.isEmpty() && m_Logic) {
            m_Logic->OnPulldownUtility(path.toLocal8Bit().toStdString());
        }
    });
    connect(utilities->addAction("&Delete Log"), &QAction::triggered, this,
            call(&app::CMainWindow::OnDeleteLog));

    QMenu* help = menuBar()->addMenu("&Help");
    QAction* contents = help->addAction("&Contents");
    contents->setShortcut(QKeySequence::HelpContents);
    connect(contents, &QAction::triggered, this, call(&app::CMainWindow::OnHelpContents));
    connect(help->addAction("&About"), &QAction::triggered, this, call(&app::CMainWindow::OnAbout));
}

std::string MainWindowWidget::ChooseSource() {
    if (m_SourceChooser) {
        return m_SourceChooser();
    }
    // Every kind of file the source inspection reads; any other file may still be tried.
    QString path = ChooseExistingFile(this, QString::fromStdString(source::SourceDialogFilter()) +
                                                ";;All Files (*)");
    return path.toLocal8Bit().toStdString();
}

void MainWindowWidget::OnNewJob() {
    if (m_Logic && m_Dialog.IsEnabled(kNewJob)) {
        std::string path = ChooseSource();
        if (!path.empty()) {
            m_Logic->OnNewJob(path);
        }
    }
}

void MainWindowWidget::Connect(int id, void (app::CMainWindow::*handler)()) {
    auto* button = dynamic_cast<QAbstractButton*>(m_Dialog.Widget(id));
    connect(button, &QAbstractButton::clicked, this, [this, handler] {
        if (m_Logic) {
            (m_Logic->*handler)();
        }
    });
}

void MainWindowWidget::MirrorEnabled(QAction* action, int id) {
    QWidget* widget = m_Dialog.Widget(id);
    if (widget == nullptr) {
        return;
    }
    action->setEnabled(widget->isEnabled());
    m_Mirrors[widget] = action;
    widget->installEventFilter(this);
}

void MainWindowWidget::SetLogic(app::CMainWindow* logic) {
    m_Logic = logic;
    m_LoadFileList->setEnabled(logic && logic->HasFileListLoader());
    m_PulldownUtility->setEnabled(logic && logic->HasPulldownUtility());
}

void MainWindowWidget::ShowWindow(bool visible) {
    if (visible) {
        // Hidden to the tray, the window is still minimised: un-minimise only when showing it.
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
        activateWindow();
    } else {
        hide();
    }
}

void MainWindowWidget::EndWindow() {
    m_Ending = true;
    // Inside a close event the event itself ends the window; close() would do nothing there.
    if (!m_InCloseEvent) {
        close();
    }
}

void MainWindowWidget::closeEvent(QCloseEvent* event) {
    if (!m_Ending && m_Logic) {
        // The close box is the cancel path: the logic leaves the tray and ends the window
        // (after asking, when the editor holds changes).
        m_InCloseEvent = true;
        m_Logic->OnUserCancel();
        m_InCloseEvent = false;
    }
    if (!m_Ending && m_Logic) {
        event->ignore();
        return;
    }
    event->accept();
    Finish();
}

void MainWindowWidget::Finish() {
    if (std::exchange(m_Ended, true)) {
        return;
    }
    if (m_OnEnded) {
        m_OnEnded();
    }
}

void MainWindowWidget::keyPressEvent(QKeyEvent* event) {
    // Children and open lists or menus had the key first; Escape that reaches the window is
    // the cancel path.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && m_Logic &&
        QApplication::activePopupWidget() == nullptr) {
        m_Logic->OnUserCancel();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindowWidget::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !m_Logic || !isMinimized()) {
        return;
    }
    // After the window manager has finished iconifying: hidden to the tray (and still
    // minimised until it is shown again), or left minimised the ordinary way when the logic
    // gives it the default handling.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized() && isVisible()) {
            m_Logic->OnMinimize();
        }
    });
}

bool MainWindowWidget::OpenHelp(const std::string& path) {
    return OpenWithDesktop(path, false, [this] {
        if (m_Logic) {
            m_Logic->OnHelpFailed();
        }
    });
}

bool MainWindowWidget::OpenWithDesktop(const std::string& path, bool folder,
                                       std::function<void()> failed) {
    QString file = QString::fromLocal8Bit(path.c_str());
    QFileInfo info(file);
    if (!(folder ? info.isDir() : info.isFile()) || !platform::QtMessageBoxes::IsInteractive()) {
        return false;
    }
    // The desktop's opener is looked up on every call (Qt's own services keep the first one
    // they found for the life of the program). It says by its exit status whether a handler
    // took the file, so it is watched rather than started detached; the window goes on
    // meanwhile.
    // No parent: the opener may outlive the window, which then hears nothing more of it.
    auto* opener = new QProcess();
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
    connect(opener, &QProcess::errorOccurred, opener, [opener](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            opener->deleteLater();
        }
    });
    connect(opener, &QProcess::errorOccurred, this, [failed](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && failed) {
            failed();
        }
    });
    connect(opener, &QProcess::finished, this, [failed](int exitCode, QProcess::ExitStatus status) {
        if ((status != QProcess::NormalExit || exitCode != 0) && failed) {
            failed();
        }
    });
    opener->start("xdg-open", {QUrl::fromLocalFile(file).toString()});
    return true;
}

void MainWindowWidget::ShowAbout(const std::string& caption) {
    QMessageBox box(this);
    box.setWindowTitle(QString::fromLocal8Bit(caption.c_str()));
    box.setIconPixmap(ProgramIcon().pixmap(48, 48));
    box.setText("<b>" + QString::fromLocal8Bit(caption.c_str()) + "</b>");
    box.setInformativeText("A batch front end for an MPEG-2 encoder: queue encode jobs, run them "
                           "one after another, and keep a log of every step.");
    if (!platform::QtMessageBoxes::IsInteractive()) {
        return;
    }
    box.exec();
}

bool MainWindowWidget::RunSettingsDialog() {
    SettingsWindow dialog(m_Store, this);
    bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        // The output folder may have changed; the logic reloads the settings first.
        QTimer::singleShot(0, this, [this] { RefreshAllJobDetails(); });
    }
    return accepted;
}

} // namespace gui
