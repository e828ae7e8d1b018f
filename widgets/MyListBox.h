#pragma once

#include <QListWidget>

class TPngImageList;

// A list box that shows every item with the same picture from an image list
// followed by its text; a selected item is shown in lilac with blue text.
class TMyListBox final : public QListWidget {
    Q_OBJECT

public:
    explicit TMyListBox(QWidget* parent = nullptr);

    TPngImageList* ImageList() const { return m_imageList; }
    void SetImageList(TPngImageList* list);
    int ImageIndex() const { return m_imageIndex; }
    void SetImageIndex(int index);
    int ItemHeight() const { return m_itemHeight; }
    void SetItemHeight(int height);

private:
    class Delegate;
    TPngImageList* m_imageList = nullptr;
    int m_imageIndex = 0;
    int m_itemHeight = 16;
};
