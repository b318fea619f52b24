#pragma once
// The about box: program name, version line, a short description, and link
// fields for the web site, the mail address and the translators.
#include <QString>
#include <QStringList>
#include <vector>

#include "platform/qt/Dialog.h"

class CClickEdit;
class FontHolder;
class QLabel;
class QPushButton;
class QVBoxLayout;

class CAboutDlg final : public CDialog {
    Q_OBJECT
  public:
    static constexpr const char* kVersionLine = "Version 2.211 (26.01.2018)";

    explicit CAboutDlg(QWidget* parent = nullptr);

    // Shows the box modally with the window's font and the OK text of the language.
    virtual int DoModal(FontHolder& fonts, const QString& okText);
    // The same without a loop of its own (tests); show() then fills the box.
    void Prepare(FontHolder& fonts, const QString& okText);

    // The language's caption, description lines and translations heading.
    void SetTexts(const QString& caption, const QStringList& descriptions,
                  const QString& translations, const QString& linkHint = QString());

    QLabel* Title() const { return title_; }
    QLabel* TranslationsLabel() const { return translations_; }
    QLabel* Version() const { return version_; }
    const std::vector<QLabel*>& Descriptions() const { return descriptions_; }
    const std::vector<CClickEdit*>& Links() const { return links_; }
    QPushButton* OkButton() const { return ok_; }

  protected:
    bool OnInitDialog() override;
    void changeEvent(QEvent* event) override;

  private:
    void ApplyColours();
    using CDialog::DoModal;
    CClickEdit* AddLink(QVBoxLayout* box, const QString& text, const QString& target);

    FontHolder* fonts_ = nullptr;
    QString okText_;
    QLabel* title_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* translations_ = nullptr;
    std::vector<QLabel*> descriptions_;
    std::vector<CClickEdit*> links_;
    QPushButton* ok_ = nullptr;
};
