#pragma once
// A read-only text field that can carry a link: blue text, a hand cursor over
// it, and a double click (or Enter once Tab has reached it) opens the link
// with the desktop's default handler.
#include <string>

#include "platform/qt/Edit.h"

class CClickEdit final : public CEdit {
    Q_OBJECT
  public:
    explicit CClickEdit(QWidget* parent = nullptr);

    void SetText(const std::u16string& text);
    void SetLink(const std::u16string& target);
    const std::u16string& Link() const { return link_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void OpenLink();
    std::u16string link_;
};
