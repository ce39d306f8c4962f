// 18. Finding text in a full history, as the find box does it (typed
// without accents nor capitals), beside std::search over a copy of the
// whole text (exact bytes).
#include "find_measures.h"

#include "answer.h"
#include "measure.h"

#include <history/FindBar.h>
#include <history/HistoryFind.h>
#include <history/HistoryFinder.h>
#include <history/HistoryView.h>
#include <text/Codec.h>
#include <ui/Form1.h>

#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bench {

namespace {

constexpr std::array<std::string_view, 12> kSentences{
    "Bonjour à tous, le café est prêt !",
    "Quelqu'un a vu mes clés ? Je les avais posées près de l'imprimante.",
    "La réunion de 14 h est déplacée à 15 h, salle Voltaire.",
    "Merci, c'est noté.",
    "Je pars déjeuner, je reviens dans une heure.",
    "Le serveur de fichiers redémarre à midi : enregistrez vos documents.",
    "Qui peut m'aider avec le tableur des congés ?",
    "Très bien, à tout à l'heure.",
    "L'école appelle : je dois partir plus tôt ce soir.",
    "Le livreur attend à l'accueil, quelqu'un peut descendre ?",
    "Oui, j'y vais.",
    "Bonne soirée et à demain !"};
constexpr std::size_t kMeeting = 2; // the sentence about the meeting
constexpr std::array<std::string_view, 5> kNicknames{"Ana", "Élodie", "Zoé", "Marc", "Inès"};

// Best of a few passes, ms.
double Best(const std::function<void()>& pass) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    const auto t = Clock::now();
    pass();
    best = std::min(best, Since(t) * 1000);
  }
  return best;
}

std::size_t CountExact(std::string_view text, std::string_view word) {
  std::size_t count = 0;
  const std::boyer_moore_horspool_searcher searcher(word.begin(), word.end());
  for (auto at = text.begin();; at += static_cast<std::ptrdiff_t>(word.size()), ++count) {
    at = std::search(at, text.end(), searcher);
    if (at == text.end()) return count;
  }
}

} // namespace

void FindInFullHistory(Context& context) {
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  TStrings& lines = *form->RichEdit1->Lines;
  HistoryView* view = form->Component<TLogRichEdit>("RichEdit1").Log();
  const LineStore& store = view->Model().Store();
  // A day of an office's chat, 10,000 messages at a time, up to the size
  // asked for; one message in a hundred speaks of « la réunion », and the
  // last one, alone, names Pauline.
  const std::size_t bytes = std::size_t(context.counts.findMiB) << 20;
  std::size_t said = 0;
  while (store.TextBytes(0, store.Count()) < bytes && lines.HasRoom()) {
    std::string batch;
    for (int i = 0; i < 10000; ++i, ++said) {
      std::size_t pick = (said * 7) % (kSentences.size() - 1);
      if (pick >= kMeeting) ++pick;
      const std::string_view sentence = kSentences[said % 100 == 0 ? kMeeting : pick];
      batch.append(kNicknames[said % kNicknames.size()]).append(" a dit :\n");
      batch.append(sentence).append("\n");
    }
    batch.pop_back();
    lines.Add(text::Decoded{std::move(batch)});
  }
  lines.Add(text::Decoded{"Paul a dit :\nL'adresse de Pauline : 192.168.1.42"});
  Pump(0.2);
  const std::size_t held = store.TextBytes(0, store.Count());
  std::string copy(held + store.Count(), '\0');
  copy.resize(
      static_cast<std::size_t>(store.CopyJoined(0, store.Count(), copy.data()) - copy.data()));

  // The next match from the start when the only one is at the end: a pass
  // over the whole text.
  const text::Needle rare("pauline", {});
  std::optional<Found> found;
  const double next = Best([&] { found = FindNext(store, rare, 0, 0); });
  std::size_t exactAt = 0;
  const double nextBase = Best([&] {
    const std::string_view word = "Pauline";
    exactAt = static_cast<std::size_t>(
        std::search(copy.begin(), copy.end(),
                    std::boyer_moore_horspool_searcher(word.begin(), word.end())) -
        copy.begin());
  });
  // Every match of a word that one message in a hundred holds.
  const text::Needle common("reunion", {});
  Tally tally;
  const double count = Best([&] { tally = CountMatches(store, common); });
  std::size_t exactCount = 0;
  const double countBase = Best([&] { exactCount = CountExact(copy, "réunion"); });
  std::fprintf(stderr,
               "    %.1f MiB, %zu lines: next %.1f ms (std::search %.1f ms), %zu matches in "
               "%.1f ms (std::search: %zu in %.1f ms)\n",
               double(held) / (1 << 20), store.Count(), next, nextBase, tally.total, count,
               exactCount, countBase);
  const std::string size = Format(" over %.0f MiB", double(held) / (1 << 20));
  context.Record(Key::FindNext,
                 {Format("%.1f ms", next), Format("%.1f ms std::search", nextBase) + size, next,
                  nextBase, found.has_value() && exactAt < copy.size()});
  context.Record(Key::FindCount,
                 {Format("%.1f ms", count), Format("%.1f ms std::search", countBase) + size, count,
                  countBase, tally.total == exactCount && tally.total > 0});

  // Typed in the find box letter by letter: each key searches and counts.
  view->setFocus();
  view->OpenFind();
  auto* field = view->FindBox()->findChild<QLineEdit*>();
  double slowest = 0;
  for (const char letter : std::string_view("reunion"))
    slowest = std::max(slowest, Answer(field, Press(Qt::Key_A + (letter - 'a'), Qt::NoModifier,
                                                    QString(QChar(letter)))));
  Pump(0.5);
  const QString result = view->Finder().Result();
  std::fprintf(stderr, "    typing: slowest key %.1f ms; the box says « %s »\n", slowest,
               qPrintable(result));
  context.Record(Key::FindTyping, {Format("%.1f ms", slowest), "-", slowest, 0,
                                   result.endsWith(QString::number(exactCount))});
}

} // namespace bench
