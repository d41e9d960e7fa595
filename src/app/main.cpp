// Tablewright: copies the user tables of Access databases into Visual FoxPro tables.
// For now the program opens a placeholder main window; the real one grows in src/app.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tablewright");
  QMainWindow window;
  window.setWindowTitle("Tablewright");
  auto* label = new QLabel("Tablewright: Access to Visual FoxPro", &window);
  label->setAlignment(Qt::AlignCenter);
  window.setCentralWidget(label);
  window.resize(640, 400);
  window.show();
  return app.exec();
}
