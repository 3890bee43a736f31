#pragma once
// The main window: the component tree, the four commands and the status bar.
#include <QStringList>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "core/Unit1Catalogue.h"
#include "gui/Places.h"
#include "gui/Services.h"
#include "toolkit/StatusBar.h"
#include "toolkit/TreeView.h"

class QPoint;
class QPushButton;
struct InstallSite;
class TServerRunner;

// The component tree's columns as designed: their captions and their widths at 96 dpi.
inline const QStringList kTreeCaptions{"Component", "Location", "Version", "Build", "State"};
inline const std::vector<int> kTreeWidths{164, 347, 63, 41, 144};

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm1(Services& services, QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, named as the window's design names them.
    QPushButton* Button1 = nullptr;  // "Download and install"
    QPushButton* Button2 = nullptr;  // "Download"
    QPushButton* Button3 = nullptr;  // "Update info"
    QPushButton* Button4 = nullptr;  // "Options"
    toolkit::TTreeView* ProjectTree = nullptr;
    toolkit::TStatusBar* TBXStatusBar1 = nullptr;
    toolkit::TImageList TBImageList1;

    // Process-wide state.
    Places places;            // where the lists and the default download folder live
    std::string DownloadDir;  // empty means the default download folder
    std::string ReplacedDir;  // where the files that installs replaced are kept
    bool AutoUpdate = false;
    bool Online = false;
    bool EditorFound = false;

    // The window's own data.
    TCatalogue Catalogue;
    std::string EditorPath;
    std::string ServerPath;
    std::unique_ptr<TServerRunner> ServerRunner;

    // Event handlers.
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void ProjectTreeClick();
    // The row's context menu (mouse, the Menu key, Shift+F10); `at` is in the tree's viewport.
    void ProjectTreeContextPopup(const QPoint& at);
    void RestorePreviousVersion(const std::string& target);

    void RefreshComponentTree();

    Services& services() { return services_; }
    // What the install and restore commands act with, as the last refresh left it.
    InstallSite Site();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void CreateControls();
    void ApplyLayout();
    void CheckConnection();
    void ShowHiveNotices();

    Services& services_;
    bool shown_ = false;
    bool destroyed_ = false;
};
