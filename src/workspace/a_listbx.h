#pragma once

#include <QListWidget>
#include <QString>

// A list box whose horizontal scroll extent follows its widest line: adding or inserting a line
// widens it, deleting a line or filling from a folder measures all lines again, emptying the list
// sets it to 0. Every way of changing the rows counts, the classic calls below and Qt's own.
class CAListbx : public QListWidget {
    Q_OBJECT

  public:
    // Results of the classic calls.
    static constexpr int kError = -1;

    explicit CAListbx(QWidget* parent = nullptr, bool useTabStops = false);
    ~CAListbx() override;

    // Appends a line; returns its index.
    int AddString(const QString& text);
    // Inserts a line at `index` (-1 appends); kError for an index past the end.
    int InsertString(int index, const QString& text);
    // Removes a line; returns the lines left, or kError for an index out of range.
    int DeleteString(int index);
    void ResetContent();
    // Adds the names of the files in `folder` matching `wildcard` ("*.ini"), sorted; returns the
    // index of the last one added, or kError when the folder cannot be read.
    int Dir(const QString& folder, const QString& wildcard);

    int GetHorizontalExtent() const { return horizontalExtent_; }
    // The width a line takes: its text width with the list's font, plus 2 with tab stops or 3.
    int LineWidth(const QString& text) const;

  protected:
    void updateGeometries() override;

  private:
    void SetHorizontalExtent(int extent);
    void Widen(int first, int last);
    void Recompute();

    bool useTabStops_;
    bool filling_ = false;  // a folder fill measures once at its end
    int horizontalExtent_ = 0;
};
