#pragma once

#include <QDialog>

class QLineEdit;

// The small topmost readout of the rectangle overlay (expert mode): one edit, id 1026, that
// shows where the pointer is and how large the rectangle has grown.
class CCoordinateReadout : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kDialogId = 158;
    static constexpr int kEditId = 1026;

    explicit CCoordinateReadout(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString text() const;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QLineEdit* edit_;
};
