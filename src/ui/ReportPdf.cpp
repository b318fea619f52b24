#include "ui/ReportPdf.h"

#include <QFile>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <QStringList>
#include <algorithm>

#include "report/ReportJson.h"
#include "report/ReportWords.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

class Page {
  public:
    Page(QPdfWriter& writer, QPainter& painter) : writer_(writer), p_(painter) {
        width_ = painter.viewport().width();
        height_ = painter.viewport().height();
    }

    void Font(int points, bool bold) {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPointSize(points);
        f.setBold(bold);
        // No ligatures: a path copied out of the certificate must be the path
        // itself, "ff" and not one glyph that no file system knows.
        f.setStyleStrategy(QFont::PreferNoShaping);
        p_.setFont(f);
    }
    int LineHeight() const { return QFontMetrics(p_.font(), &writer_).height(); }

    void Break(int needed) {
        if (y_ + needed <= height_) return;
        writer_.newPage();
        y_ = 0;
    }
    // One line of text in columns (x as fractions of the width); each is elided.
    void Row(const QStringList& cells, const std::vector<double>& at) {
        const int h = LineHeight();
        Break(h);
        for (int i = 0; i < cells.size() && i < static_cast<int>(at.size()); ++i) {
            const int x = static_cast<int>(at[static_cast<size_t>(i)] * width_);
            const int right =
                i + 1 < static_cast<int>(at.size())
                    ? static_cast<int>(at[static_cast<size_t>(i) + 1] * width_) - h / 2
                    : width_;
            const QString text =
                QFontMetrics(p_.font(), &writer_).elidedText(cells[i], Qt::ElideMiddle, right - x);
            p_.drawText(QRect(x, y_, right - x, h), Qt::AlignLeft | Qt::AlignVCenter, text);
        }
        y_ += h;
    }
    void Paragraph(const QString& text) {
        const QRect box = p_.boundingRect(QRect(0, y_, width_, height_), Qt::TextWordWrap, text);
        Break(box.height());
        p_.drawText(QRect(0, y_, width_, box.height()), Qt::TextWordWrap, text);
        y_ += box.height();
    }
    void Rule() {
        const int h = LineHeight() / 2;
        Break(h);
        p_.drawLine(0, y_ + h / 2, width_, y_ + h / 2);
        y_ += h;
    }
    void Space() { y_ += LineHeight() / 2; }

  private:
    QPdfWriter& writer_;
    QPainter& p_;
    int width_ = 0, height_ = 0, y_ = 0;
};

}  // namespace

bool MakeReportPdf(const RunRecord& r, const std::string& fingerprint, int fd, std::string& error) {
    // Drawn into the descriptor the file was made with: the PDF writer never opens
    // the file again by its name, which another user of a shared folder could
    // have pointed elsewhere in the meantime.
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        error = "the PDF file could not be opened";
        return false;
    }
    QPdfWriter writer(&file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("Kelvane erasure report %1").arg(Q(r.id)));
    writer.setCreator(QStringLiteral("Kelvane " KELVANE_VERSION));
    QPainter painter;
    if (!painter.begin(&writer)) {
        error = "the PDF file could not be opened";
        return false;
    }
    Page page(writer, painter);
    page.Font(15, true);
    page.Row({QStringLiteral("Certificate of Sanitization")}, {0});
    page.Font(9, false);
    page.Row({QStringLiteral("Kelvane erasure report, signed; check its JSON file with "
                             "kelvane-cli verify-report")},
             {0});
    page.Rule();

    const std::vector<double> kv{0, 0.25};
    page.Font(9, false);
    auto field = [&](const char* name, const QString& value) {
        page.Row({QString::fromUtf8(name), value}, kv);
    };
    // The totals count every entry, also those the record no longer holds.
    const ReportTally tally = TallyOf(r);
    int64_t erased = tally.erased, exceptions = tally.exceptions, notErased = tally.notErased;
    for (const ReportDrive& d : r.drives)
        (d.result == "erased" ? erased : d.result == "not-erased" ? notErased : exceptions)++;
    // A field left empty in the settings still has its line, to be filled in by hand.
    auto person = [](const std::string& s) {
        return s.empty() ? QStringLiteral("____________________") : Q(s);
    };
    field("Report ID", Q(r.id));
    field("Organisation", person(r.organisation));
    field("Operator", person(r.operatorName));
    field("Customer", person(r.customer));
    field("What", r.kind == "files"
                      ? QStringLiteral("%1 entries (files and folders)").arg(tally.entries)
                      : QStringLiteral("free space of %1 drive(s)").arg(r.drives.size()));
    field("When",
          QStringLiteral("%1 to %2 (UTC)").arg(Q(UtcTimeText(r.start)), Q(UtcTimeText(r.end))));
    field(
        "Where",
        QStringLiteral("host %1, user %2, time zone %3").arg(Q(r.host), Q(r.user), Q(r.timeZone)));
    field("Outcome",
          QStringLiteral("%1 (exit status %2)").arg(Q(OutcomeWords(r.outcome))).arg(r.exitStatus));
    field("Results", QStringLiteral("%1 not erased, %2 erased with exceptions, %3 erased")
                         .arg(notErased)
                         .arg(exceptions)
                         .arg(erased));
    field("Tool", QStringLiteral("Kelvane %1").arg(QStringLiteral(KELVANE_VERSION)));
    field("Method", Q(MethodWords(r.method)));
    field("Sanitization", QStringLiteral("NIST SP 800-88 Rev. 1: Clear"));
    field("Verification", Q(VerificationMethodWords(r.method)));
    if (r.namesHidden)
        field("Names", QStringLiteral("hidden (HMAC-SHA-256 under the user's own secret)"));
    page.Rule();

    // What needs attention comes first: the caveats of the whole run, then the
    // drives and entries not erased or erased with exceptions.
    if (!r.warnings.empty()) {
        page.Font(9, true);
        page.Row({QStringLiteral("Warnings")}, {0});
        page.Font(8, false);
        for (const std::string& w : r.warnings) page.Paragraph(QStringLiteral("\u2022 ") + Q(w));
        page.Space();
    }
    const std::vector<double> cols{0, 0.56, 0.78};
    if (!r.drives.empty()) {
        page.Font(9, true);
        page.Row({QStringLiteral("Drive"), QStringLiteral("Result"), QStringLiteral("Written")},
                 cols);
        page.Font(8, false);
        std::vector<size_t> order(r.drives.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return ReportResultRank(r.drives[a].result) < ReportResultRank(r.drives[b].result);
        });
        for (size_t i : order) {
            const ReportDrive& d = r.drives[i];
            page.Row(
                {Q(d.mountPoint) + QStringLiteral(" (") + Q(d.place.fsType) + QStringLiteral(")"),
                 Q(ResultWords(d.result)), QStringLiteral("%1 MiB").arg(d.bytesWritten / 1048576)},
                cols);
            if (!d.error.empty()) page.Paragraph(QStringLiteral("      ") + Q(d.error));
        }
        page.Space();
    }
    if (!r.entries.empty()) {
        page.Font(9, true);
        page.Row(
            {QStringLiteral("Entry"), QStringLiteral("Result"), QStringLiteral("Verification")},
            cols);
        page.Font(8, false);
        // A page of people's reading: the entries that need attention first,
        // and how many more the JSON holds.
        const std::vector<size_t> order = AttentionOrder(r.entries);
        const size_t shown = std::min(order.size(), kReportShownEntries);
        for (size_t k = 0; k < shown; ++k) {
            const ReportEntry& e = r.entries[order[k]];
            page.Row({Q(e.path), Q(ResultWords(e.result)), Q(VerificationWords(e.verification))},
                     cols);
            if (e.result != "erased" && !e.error.empty())
                page.Paragraph(QStringLiteral("      ") + Q(e.error));
        }
        if (tally.entries > static_cast<int64_t>(shown))
            page.Row({QStringLiteral("\u2026 and %1 more (all of them in the JSON report)")
                          .arg(tally.entries - static_cast<int64_t>(shown))},
                     {0});
    }
    page.Rule();
    page.Font(8, false);
    page.Row({QStringLiteral("Signature"),
              QStringLiteral("Ed25519 over the SHA-512 digest, key fingerprint")},
             kv);
    page.Row({QString(), Q(fingerprint)}, kv);
    page.Space();
    page.Space();
    // Signed by hand, as a certificate of sanitization is.
    page.Font(9, false);
    const std::vector<double> sign{0, 0.2, 0.62, 0.72};
    const QString line = QStringLiteral("______________________________");
    const QString shortLine = QStringLiteral("______________");
    page.Row({QStringLiteral("Performed by"), line, QStringLiteral("Date"), shortLine}, sign);
    page.Space();
    page.Row({QStringLiteral("Validated by"), line, QStringLiteral("Date"), shortLine}, sign);
    if (!painter.end() || !file.flush()) {
        error = "the PDF could not be written";
        return false;
    }
    return true;
}
