// The history's line store against a plain vector of strings, over random
// edits that cross chunk boundaries.
#include <platform/LineStore.h>

#include <QtTest>

#include <random>

class TestLineStore : public QObject {
  Q_OBJECT

  static void Compare(const LineStore& store, const std::vector<std::string>& model) {
    QCOMPARE(store.Count(), model.size());
    for (std::size_t i = 0; i < model.size(); ++i)
      QCOMPARE(std::string(store.Line(i)), model[i]);
  }

private slots:
  void startsWithOneEmptyLine() {
    LineStore store;
    Compare(store, {""});
    store.Erase(0);
    Compare(store, {""});
  }

  void randomEditsMatchAVector_data() {
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("lines");
    QTest::newRow("few lines") << 1u << 10;
    QTest::newRow("several chunks") << 2u << 3000;
    QTest::newRow("another seed") << 3u << 3000;
  }
  void randomEditsMatchAVector() {
    QFETCH(unsigned, seed);
    QFETCH(int, lines);
    std::mt19937 random(seed);
    LineStore store;
    std::vector<std::string> model{""};
    auto text = [&] { return std::string(random() % 30, static_cast<char>('a' + random() % 26)); };
    for (int i = 0; i < lines; ++i) {
      const std::string line = text();
      store.Append(line);
      model.push_back(line);
    }
    for (int step = 0; step < 4000; ++step) {
      const std::size_t at = random() % model.size();
      switch (random() % 4) {
      case 0: {
        const std::string line = text();
        store.Replace(at, line);
        model[at] = line;
        break;
      }
      case 1: {
        const std::string line = text();
        store.Insert(at, line);
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), line);
        break;
      }
      case 2:
        store.Erase(at);
        if (model.size() == 1)
          model[0].clear();
        else
          model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        break;
      default: {
        const std::string line = text();
        store.Append(line);
        model.push_back(line);
      }
      }
    }
    Compare(store, model);
    // Inserting many lines at one place splits chunks and stays right.
    for (int i = 0; i < 2000; ++i) {
      store.Insert(1, std::to_string(i));
      model.insert(model.begin() + 1, std::to_string(i));
    }
    Compare(store, model);
  }

  void memoryPerLineIsSmall() {
    LineStore store;
    for (int i = 0; i < 100000; ++i)
      store.Append("abcdefghijklmnopqrst");
    QVERIFY2(store.Capacity() / 100000 < 40,
             qPrintable(QString::number(store.Capacity() / 100000)));
  }
};

QTEST_APPLESS_MAIN(TestLineStore)
#include "test_linestore.moc"
