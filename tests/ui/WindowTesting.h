// Window test helpers: the main dialog created modeless, user actions as messages, answered boxes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "ui/Platform.h"

namespace glos::test {

// A main window per test over fresh settings whose profile lies in the test's directory.
// Skips the test when there is no display to open windows on.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the main window (template 200) with commandLine as its creation parameter.
  void Open(const char16_t* commandLine = nullptr);
  HWND Main() const;
  HWND Page() const;
  HWND PageControl(int id) const;
  HWND MainControl(int id) const;

  // What a user's typing, clicking, tab choice and drop make the controls send.
  void SetText(int id, const std::u16string& text);     // replaces a page field's text
  void Type(HWND control, const std::u16string& text);  // WM_CHAR for each unit
  void Click(int id);                                   // BM_CLICK on a page control
  void SelectTab(int index);                            // TCM_SETCURSEL and TCN_SELCHANGE
  void Drop(const std::vector<std::u16string>& paths);  // WM_DROPFILES with a real HDROP

  std::u16string LogText() const;
  bool OkEnabled() const;
  std::u16string OkCaption() const;
  bool Checked(int id) const;
  // The path of a file in the test's directory, made with the given bytes.
  std::u16string MakeFile(const std::u16string& name, const std::string& bytes);

  TempDir dir_;
};

std::u16string TextOf(HWND window);
void PumpMessages();

// A message box or dialog seen while a ModalAnswerer was active.
struct SeenBox {
  std::u16string caption;
  std::u16string text;       // the message, for a message box
  HICON icon = nullptr;      // the message box's icon
  std::vector<int> buttons;  // ids of its visible buttons, in creation order
};

// While alive, answers every modal dialog of this thread owned by the main window: respond
// sees the dialog (and what it holds) and returns the id of the button to press.
class ModalAnswerer {
 public:
  using Respond = std::function<int(HWND dialog, const SeenBox& seen)>;
  explicit ModalAnswerer(Respond respond);
  // Presses button id in every box.
  explicit ModalAnswerer(int id);
  ModalAnswerer(const ModalAnswerer&) = delete;
  ModalAnswerer& operator=(const ModalAnswerer&) = delete;
  ~ModalAnswerer();

  std::vector<SeenBox> seen;

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  static BOOL CALLBACK CheckWindow(HWND window, LPARAM);
  Respond respond_;
  std::vector<HWND> answered_;
  UINT_PTR timer_ = 0;
};

}  // namespace glos::test
