#include "preview/click_dispatch.h"

#include <algorithm>
#include <array>
#include <limits>

#include "preview/preview_pages.h"

namespace bm {

namespace {

using PageWriter = int (*)(const PreviewEnv&, std::u16string_view, std::u16string_view);

struct KindRoute {
  std::u16string_view kind;
  PageWriter writer;
};

// Compared in this order, whole and case-sensitively.
constexpr std::array<KindRoute, 5> kRoutes = {{
    {u"email", &ShowEmailPreview},
    {u"contact", &ShowContactPreview},
    {u"appointment", &ShowAppointmentPreview},
    {u"note", &ShowNotePreview},
    {u"task", &ShowTaskPreview},
}};

bool IsBlank(char16_t ch) {
  return ch == u' ' || ch == u'\t' || ch == u'\n' || ch == u'\v' || ch == u'\f' || ch == u'\r';
}

}  // namespace

std::int32_t ParseRowNumber(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // Accumulated as a negative number so the lowest value fits too.
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = std::max(value * 10 - (text[i] - u'0'), kMin);
  }
  if (!negative) value = std::min(-value, kMax);
  return static_cast<std::int32_t>(value);
}

ClickedRow ClickedRowOf(const ListRow& row) {
  return {row[0], row[1], row[2]};
}

std::optional<ClickedRow> FirstSelectedRow(const std::vector<ListRow>& rows,
                                           const std::vector<std::size_t>& selected_indexes) {
  std::optional<std::size_t> lowest;
  for (const std::size_t index : selected_indexes) {
    if (index < rows.size() && (!lowest || index < *lowest)) lowest = index;
  }
  if (!lowest) return std::nullopt;
  return ClickedRowOf(rows[*lowest]);
}

int ShowItemPreview(const PreviewEnv& env, const std::optional<ClickedRow>& first_selected) {
  if (!first_selected) return 0;
  for (const KindRoute& route : kRoutes) {
    if (first_selected->kind == route.kind) {
      return route.writer(env, first_selected->number, first_selected->from);
    }
  }
  return 0;
}

}  // namespace bm
