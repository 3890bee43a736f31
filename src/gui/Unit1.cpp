#include "gui/Unit1.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "core/ReplacedFiles.h"
#include "core/TextUtils.h"
#include "core/Unit1Settings.h"
#include "core/srunner.h"
#include "gui/MessDlgs.h"
#include "platform/Paths.h"
#include "toolkit/Application.h"
#include "toolkit/DesignedFont.h"

namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 567;
const QRect kTreeRect(16, 48, 765, 483);
constexpr int kStatusHeight = 23;
// The smallest window still shows the four buttons, the tree's header and a few rows.
constexpr int kMinimumRows = 4;
constexpr int kRowHeight = 19;
constexpr int kHeaderHeight = 23;

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const char* hint) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(name);
    button->setAccessibleName(QString::fromUtf8(caption));
    // Enter and keypad Enter press the focused button, as in the dialogs.
    button->setAutoDefault(true);
    if (hint) button->setToolTip(QString::fromUtf8(hint));
    return button;
}

}  // namespace

TForm1::TForm1(Services& services, QWidget* parent) : QWidget(parent), services_(services) {
    setObjectName("Form1");
    setWindowTitle(toolkit::kApplicationTitle);
    setFont(toolkit::DesignedFont(13));
    CreateControls();
    toolkit::RunGuarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
    if (!destroyed_) FormDestroy();
}

void TForm1::CreateControls() {
    Button3 = MakeButton(this, "Button3", "Update info", "Receive modules information");
    Button2 = MakeButton(this, "Button2", "Download", "Download selected module");
    Button1 =
        MakeButton(this, "Button1", "Download and install", "Download and install selected module");
    Button4 = MakeButton(this, "Button4", "Options", nullptr);
    Button2->setEnabled(false);
    Button1->setEnabled(false);

    ProjectTree = new toolkit::TTreeView(this);
    ProjectTree->setObjectName("ProjectTree");
    ProjectTree->setAccessibleName("Components");
    ProjectTree->SetColumns(kTreeCaptions, kTreeWidths);
    ProjectTree->SetGrowingColumns({0, 1});  // Component and Location take a wider window's room

    TBXStatusBar1 = new toolkit::TStatusBar(TBImageList1, {100, 250, 250}, this);
    TBXStatusBar1->setObjectName("TBXStatusBar1");
    TBXStatusBar1->SetCaption(0, "Offline");
    TBXStatusBar1->SetImageIndex(0, 1);

    // Tab order of the design: the tree first, then the commands left to right.
    setTabOrder(ProjectTree, Button3);
    setTabOrder(Button3, Button2);
    setTabOrder(Button2, Button1);
    setTabOrder(Button1, Button4);

    using toolkit::ConnectHandler;
    ConnectHandler(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    ConnectHandler(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    ConnectHandler(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    ConnectHandler(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    // Buttons and panels follow the current row however it changes (mouse, keyboard,
    // rebuild), so a command never acts on a row the status bar does not show.
    ConnectHandler(ProjectTree, &QTreeWidget::itemSelectionChanged, this,
                   &TForm1::ProjectTreeClick);
    // A row's own commands live in its context menu, so the designed window stays as it is.
    ProjectTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ProjectTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        toolkit::RunGuarded([&] { ProjectTreeContextPopup(at); });
    });
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(keys, ProjectTree, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            QTreeWidgetItem* row = ProjectTree->currentItem();
            if (!row) return;
            const QPoint at = ProjectTree->visualItemRect(row).center();
            toolkit::RunGuarded([&] { ProjectTreeContextPopup(at); });
        });
    }
}

void TForm1::ApplyLayout() {
    resize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Button3->setGeometry(12, 12, 125, 27);
    Button2->setGeometry(140, 12, 125, 27);
    Button1->setGeometry(268, 12, 161, 27);
    Button4->setGeometry(432, 12, 93, 27);
    ProjectTree->setGeometry(kTreeRect);
    TBXStatusBar1->setGeometry(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight);
    const int treeHeight = kHeaderHeight + kMinimumRows * kRowHeight +
                           2 * ProjectTree->frameWidth() +
                           ProjectTree->horizontalScrollBar()->sizeHint().height();
    // As much room right of the last button as left of the first.
    setMinimumSize(Button4->geometry().right() + 1 + Button3->geometry().left(),
                   kClientHeight - kTreeRect.height() + treeHeight);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The tree follows all four edges; the status bar stays along the bottom.
    ProjectTree->setGeometry(kTreeRect.left(), kTreeRect.top(),
                             width() - (kClientWidth - kTreeRect.width()),
                             height() - (kClientHeight - kTreeRect.height()));
    TBXStatusBar1->setGeometry(0, height() - kStatusHeight, width(), kStatusHeight);
    ProjectTree->GrowColumns(width() - kClientWidth);
}

void TForm1::FormCreate() {
    ApplyLayout();
    // The catalogue lists exist with the window (TCatalogue); the probe needs the launcher.
    // A wrongly typed AppData is reported on its own, so the probe, the download folder and
    // the stored settings still come into being and nothing later finds them missing.
    std::string appData;
    toolkit::RunGuarded([&] { appData = GetAppDataFolder(services_.registry); });
    ServerRunner = std::make_unique<TServerRunner>(
        appData + NativePath("Zelmarock\\corvalitesrv.exe"), services_.desktop);

    places = ChoosePlaces(services_.programFolder);
    DownloadDir = places.defaultDownloadFolder;
    // An install or restore that a stop interrupted is finished or undone before anything
    // reads the products' folders.
    ReplacedDir = ReplacedFilesFolder();
    ReplacedFiles(ReplacedDir).Replay();
    std::error_code ignored;
    std::filesystem::create_directories(platform::PathFromUtf8(DownloadDir), ignored);

    toolkit::RunGuarded([this] { LoadSettings(services_.registry, DownloadDir, AutoUpdate); });
    ShowHiveNotices();  // a damaged settings file was kept aside: say so once
}

void TForm1::ShowHiveNotices() {
    for (const auto& notice : services_.registry.TakeNotices()) toolkit::ShowErrorText(notice);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // Let the window paint before the connection check blocks for its few seconds.
    QTimer::singleShot(0, this, [this] { toolkit::RunGuarded([this] { FormShow(); }); });
}

void TForm1::CheckConnection() {
    if (services_.engine.IsConnected() > 0) {
        Online = true;
        TBXStatusBar1->SetCaption(0, "Online");
        TBXStatusBar1->SetImageIndex(0, 0);
    }
}

void TForm1::FormShow() {
    Online = false;
    CheckConnection();
    if (AutoUpdate && Online) RefreshComponentTree();
}

void TForm1::Button3Click() {
    // A user told to connect and try again must be able to: check once more first.
    if (!Online) CheckConnection();
    if (Online) {
        RefreshComponentTree();
        return;
    }
    MessageDialog("Your are offline. Please connect to internet and try again", mtInformation, mbOK,
                  0, kEnglish);
}

void TForm1::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted() && !destroyed_) FormDestroy();
}

void TForm1::FormDestroy() {
    destroyed_ = true;
    toolkit::RunGuarded([this] { SaveSettings(services_.registry, DownloadDir, AutoUpdate); });
    ShowHiveNotices();
}
