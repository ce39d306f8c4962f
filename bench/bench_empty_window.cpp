// The start-up baseline: a minimal Qt program that shows one empty window.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(691, 559);
  window.show();
  return QApplication::exec();
}
