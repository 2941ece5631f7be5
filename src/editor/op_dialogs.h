#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QString>

#include <memory>

namespace Ui {
class CIncreaseDepthDlg;
class CDecreaseDepthDlg;
class CRotateDlg;
class CInformationDlg;
class CResizeDlg;
class CAnnotateDlg;
}  // namespace Ui
class QLineEdit;

// The small modal dialogs through which the Image menu asks for an operation's parameters.
// Values go in through the constructor and are read back from the public fields after OK.

class CIncreaseDepthDlg : public QDialog {
    Q_OBJECT
  public:
    CIncreaseDepthDlg(int bits, QWidget* parent = nullptr);
    ~CIncreaseDepthDlg() override;
    void accept() override;
    int bits;

  private:
    std::unique_ptr<Ui::CIncreaseDepthDlg> ui;
};

class CDecreaseDepthDlg : public QDialog {
    Q_OBJECT
  public:
    CDecreaseDepthDlg(int bits, QWidget* parent = nullptr);
    ~CDecreaseDepthDlg() override;
    void accept() override;
    int bits;
    int method = 1;     // optimal palette
    int diffusion = 1;  // error diffusion on

  private:
    std::unique_ptr<Ui::CDecreaseDepthDlg> ui;
};

class CRotateDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CRotateDlg(QWidget* parent = nullptr);
    ~CRotateDlg() override;
    // 1, 2 or 3 for 90, 180 or 270 degrees.
    int QuarterTurns() const;

  private:
    std::unique_ptr<Ui::CRotateDlg> ui;
};

class CInformationDlg : public QDialog {
    Q_OBJECT
  public:
    CInformationDlg(const QString& text, QWidget* parent = nullptr);
    ~CInformationDlg() override;

  private:
    std::unique_ptr<Ui::CInformationDlg> ui;
};

// Width and height kept in proportion while "Maintain Aspect Ratio" is checked, with the factor
// relative to the starting width; all in single precision.
class CResizeDlg : public QDialog {
    Q_OBJECT
  public:
    CResizeDlg(unsigned width, unsigned height, QWidget* parent = nullptr);
    ~CResizeDlg() override;
    void accept() override;
    unsigned width;
    unsigned height;
    float factor = 1.0f;
    bool fast = true;

  private:
    void OnWidthEdited();
    void OnHeightEdited();
    void ShowFactor(float newWidth);
    // Writes a field without taking it for the user's typing.
    void SetField(QLineEdit* field, const QString& text);

    std::unique_ptr<Ui::CResizeDlg> ui;
    float currentWidth, currentHeight;
    float startWidth, startHeight;
    bool following_ = false;
    QLineEdit* lastEdited_ = nullptr;
};

class CAnnotateDlg : public QDialog {
    Q_OBJECT
  public:
    CAnnotateDlg(const QString& text, const QFont& font, const QColor& color,
                 QWidget* parent = nullptr);
    ~CAnnotateDlg() override;
    void accept() override;
    QString text;
    QFont font;
    QColor color;
    bool includeDate = false;
    bool includeTime = false;

  private:
    void OnFont();
    void OnColor();
    void ShowColor();

    std::unique_ptr<Ui::CAnnotateDlg> ui;
};

// Edits read as unsigned integers, as the classic dialogs read them: leading blanks skipped,
// digits up to the first other character; no digits gives 0.
unsigned ReadUnsigned(const QString& text);
