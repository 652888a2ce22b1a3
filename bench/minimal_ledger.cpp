// The floor a careful Qt program reaches, for the start-up benchmark: it reads the ledger of the current
// directory with iconv, keeps each deposit as its decoded texts and its amount, and shows the ledger in a
// QTableView (number, date, item, amount, running total; the texts of numbers made only for the rows drawn).
//   minimal_ledger          the ledger in a table
//   minimal_ledger --bare   a bare window and nothing else
#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QWidget>

#include <cstdint>
#include <cstdio>
#include <iconv.h>
#include <string>
#include <vector>

namespace {

struct Deposit {
    QString date;
    QString item;
    std::int64_t amount; // ten-thousandths of a yen
    std::int64_t total;
};

std::string ReadAll(const char* name) {
    std::string bytes;
    if (std::FILE* f = std::fopen(name, "rb")) {
        char chunk[1 << 16];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.append(chunk, n);
        std::fclose(f);
    }
    return bytes;
}

std::u16string Decode(const std::string& bytes) {
    std::u16string text(bytes.size() + 1, u'\0');
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* out = reinterpret_cast<char*>(text.data());
    std::size_t outLeft = text.size() * 2;
    iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    text.resize(text.size() - outLeft / 2);
    return text;
}

std::int64_t Amount(std::u16string_view field) {
    std::int64_t whole = 0, fraction = 0;
    int digits = -1;
    bool negative = false;
    for (const char16_t c : field) {
        if (c == u'-')
            negative = true;
        else if (c == u'.')
            digits = 0;
        else if (c >= u'0' && c <= u'9') {
            if (digits < 0)
                whole = whole * 10 + (c - u'0');
            else if (digits < 4)
                fraction = fraction * 10 + (c - u'0'), ++digits;
        }
    }
    for (int d = std::max(digits, 0); d < 4; ++d)
        fraction *= 10;
    const std::int64_t value = whole * 10000 + fraction;
    return negative ? -value : value;
}

std::vector<Deposit> Parse(const std::u16string& text) {
    std::vector<Deposit> deposits;
    std::int64_t total = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find(u'\n', pos);
        const std::u16string_view line(text.data() + pos, (end == std::u16string::npos ? text.size() : end) - pos);
        pos = end == std::u16string::npos ? text.size() : end + 1;
        const std::size_t q1 = line.find(u'"'), q2 = line.find(u'"', q1 + 1), q3 = line.find(u'"', q2 + 1),
                          q4 = line.find(u'"', q3 + 1);
        if (q4 == std::u16string_view::npos)
            continue;
        const std::int64_t amount = Amount(line.substr(q4 + 2));
        total += amount;
        deposits.push_back({QString::fromUtf16(line.data() + q1 + 1, qsizetype(q2 - q1 - 1)),
                            QString::fromUtf16(line.data() + q3 + 1, qsizetype(q4 - q3 - 1)), amount, total});
    }
    return deposits;
}

QString Money(std::int64_t v) {
    const bool negative = v < 0;
    std::uint64_t m = negative ? 0 - std::uint64_t(v) : std::uint64_t(v);
    QString digits = QString::number(m / 10000);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    QString text = (negative ? QStringLiteral("-¥") : QStringLiteral("¥")) + digits;
    if (const std::uint64_t f = m % 10000) {
        QString fraction = QString::number(f).rightJustified(4, u'0');
        while (fraction.endsWith(u'0'))
            fraction.chop(1);
        text += u'.' + fraction;
    }
    return text;
}

class LedgerModel final : public QAbstractTableModel {
public:
    explicit LedgerModel(std::vector<Deposit> deposits) : m_deposits(std::move(deposits)) {}
    int rowCount(const QModelIndex&) const override { return int(m_deposits.size()); }
    int columnCount(const QModelIndex&) const override { return 5; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole)
            return {};
        const Deposit& d = m_deposits[std::size_t(index.row())];
        switch (index.column()) {
        case 0:
            return index.row() + 1;
        case 1:
            return d.date;
        case 2:
            return d.item;
        case 3:
            return Money(d.amount);
        default:
            return Money(d.total);
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char16_t* const headers[] = {u"回", u"日付", u"項目", u"入金", u"累計"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return QString::fromUtf16(headers[section]);
        return {};
    }

private:
    std::vector<Deposit> m_deposits;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc == 2 && QByteArray(argv[1]) == "--bare") {
        QWidget window;
        window.setWindowTitle(QStringLiteral("bare window"));
        window.resize(631, 452);
        window.show();
        return QApplication::exec();
    }
    LedgerModel model(Parse(Decode(ReadAll("テーマ１.txt"))));
    QTableView view;
    view.setWindowTitle(QStringLiteral("minimal ledger"));
    view.setModel(&model);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().height() + 3);
    view.resize(631, 452);
    view.scrollToBottom();
    view.show();
    return QApplication::exec();
}
