#pragma once

#include "Colors.h"
#include "PngFunctions.h"

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QString>

#include <vector>

class QPainter;

// One picture of a TPngImageList.
struct TPngImageCollectionItem {
    QImage PngImage;
    QString Name;
    TColor Background = clBtnFace;
};

// An image list whose pictures are PNG images with their alpha channel. Every
// picture is drawn at the list's Width × Height; drawn disabled it gets the
// look PngOptions asks for.
class TPngImageList final : public QObject {
    Q_OBJECT

public:
    explicit TPngImageList(QObject* parent = nullptr);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void SetWidth(int width);
    void SetHeight(int height);
    bool EnabledImages() const { return m_enabledImages; }
    void SetEnabledImages(bool enabled);
    TPngOptions PngOptions() const { return m_options; }
    void SetPngOptions(TPngOptions options);

    int Count() const { return static_cast<int>(m_items.size()); }
    const TPngImageCollectionItem* item(int index) const;
    // The picture at index, or an empty image.
    QImage pngImage(int index) const;

    // Editing; each rebuilds the drawing copy unless an update is open.
    int Add(const QImage& image, const QString& name = {});
    void Insert(int index, const QImage& image, const QString& name = {});
    void Replace(int index, const QImage& image);
    void Delete(int index);
    void Move(int from, int to);
    void Clear();
    void Assign(const TPngImageList& source);

    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate(bool rebuild = true);

    // Draws picture index with its top-left corner at (x, y).
    void Draw(QPainter& painter, int x, int y, int index, bool enabled = true) const;

signals:
    void changed();

private:
    void rebuild();

    std::vector<TPngImageCollectionItem> m_items;
    // The pictures as they are drawn, at the list's size.
    std::vector<QPixmap> m_drawn;
    int m_width = 16;
    int m_height = 16;
    bool m_enabledImages = true;
    TPngOptions m_options = pngBlendOnDisabled;
    int m_updateCount = 0;
};
