#pragma once
// A status bar of fixed-width panels, each with a caption and an image from an image list,
// drawn in the window's own font.
#include <QIcon>
#include <QString>
#include <QWidget>
#include <vector>

namespace toolkit {

// The two connection pictures: 0 online (a globe), 1 offline (a crossed-out network).
class TImageList {
  public:
    TImageList();
    int Count() const { return static_cast<int>(icons_.size()); }
    QIcon Icon(int index) const;

  private:
    std::vector<QIcon> icons_;
};

class TStatusBar : public QWidget {
    Q_OBJECT
  public:
    TStatusBar(const TImageList& images, const std::vector<int>& panelWidths,
               QWidget* parent = nullptr);

    int PanelCount() const { return static_cast<int>(panels_.size()); }
    QString Caption(int panel) const { return panels_.at(static_cast<std::size_t>(panel)).caption; }
    int ImageIndex(int panel) const { return panels_.at(static_cast<std::size_t>(panel)).image; }
    void SetCaption(int panel, const QString& caption);
    void SetImageIndex(int panel, int image);
    // Where a panel is drawn, in the bar's own coordinates.
    QRect PanelRect(int panel) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Panel {
        int width;
        QString caption;
        int image = -1;
    };
    const TImageList& images_;
    std::vector<Panel> panels_;
    void UpdateAccessibleText();
    // Tells screen readers what a panel now says, and when panels come and go.
    void AnnounceCaption(int panel, bool shownBefore);
};

}  // namespace toolkit
