#include "platform/Forms.h"
#include "ui/Form1.h"

// Start-up: create the main window, run the event loop until it closes.
// An error that escapes start-up or the loop is shown in the error box; the
// program then ends with code 1, since it did not run.
int main() {
  try {
    Application->Initialize();
    Application->CreateForm(Form1);
    Application->Run();
  } catch (const Exception& exception) {
    Application->ShowException(&exception);
    return 1;
  } catch (...) {
    try {
      throw Exception("");
    } catch (const Exception& exception) {
      Application->ShowException(&exception);
    }
    return 1;
  }
  return 0;
}
