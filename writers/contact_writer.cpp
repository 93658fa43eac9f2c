// The contact writer: a list row and row record in preview mode, a labelled UTF-16 text file
// in conversion mode.
#include <array>
#include <cstdint>
#include <string_view>

#include "engine/app_state.h"
#include "writers/item_body.h"
#include "writers/item_files.h"
#include "writers/item_writers.h"
#include "writers/value_format.h"
#include "writers/writer_support.h"

namespace bm {

namespace {

struct ContactField {
  std::u16string_view label;
  std::uint32_t property;
};

// The contact fields in file order (also the order of the row record and the preview page).
constexpr std::array<ContactField, kContactFieldCount> kContactFields = {{
    {u"FileUnder:\t\t", 0x8005},
    {u"GivenName:\t\t", 0x3A06},
    {u"Initials:\t\t", 0x3A0A},
    {u"Surname:\t\t", 0x3A11},
    {u"Title:\t\t", 0x3A45},
    {u"GenerationalAbbreviation:\t\t", 0x3A05},
    {u"CallbackPhoneNumber:\t\t", 0x3A02},
    {u"PrimaryPhoneNumber:\t\t", 0x3A1A},
    {u"HomePhoneNumber:\t\t", 0x3A09},
    {u"MobilePhoneNumber:\t\t", 0x3A1C},
    {u"CompanyName:\t\t", 0x3A16},
    {u"JobTitle:\t\t", 0x3A17},
    {u"OfficeLocation:\t\t", 0x3A19},
    {u"DepartmentName:\t\t", 0x3A18},
    {u"PostalAddress:\t\t", 0x3A15},
    {u"Country:\t\t", 0x3A26},
    {u"Locality:\t\t", 0x3A27},
    {u"BusinessPhoneNumber1:\t\t", 0x3A08},
    {u"BusinessPhoneNumber2:\t\t", 0x3A1B},
    {u"BusinessFaxNumber:\t\t", 0x3A24},
    {u"EmailAddress1:\t\t", 0x8083},
    {u"EmailAddress2:\t\t", 0x8093},
    {u"EmailAddress3:\t\t", 0x80A3},
    {u"radio_telephone_number:\t\t", 0x3A1D},
    {u"car_telephone_number:\t\t", 0x3A1E},
    {u"other_telephone_number:\t\t", 0x3A1F},
    {u"pager_telephone_number:\t\t", 0x3A21},
    {u"primary_fax_number:\t\t", 0x3A23},
    {u"home_fax_number:\t\t", 0x3A25},
    {u"telex_number:\t\t", 0x3A2C},
    {u"isdn_number:\t\t", 0x3A2D},
    {u"assistant_telephone_number:", 0x3A2E},
    {u"home2_telephone_number:\t\t", 0x3A2F},
    {u"customer_id:\t\t", 0x3A4A},
    {u"contact_hobbies:\t\t", 0x3A43},
    {u"home_address_street:\t\t", 0x3A5D},
    {u"gender:\t\t", 0x3A4D},
    {u"middle_name:\t\t", 0x3A44},
    {u"languages:\t\t", 0x002F},
    {u"assistant_name:\t\t", 0x3A30},
    {u"profession:\t\t", 0x3A46},
    {u"spouse_name:\t\t", 0x3A48},
    {u"company_main_phone_number:\t\t", 0x3A57},
    {u"address_city:\t\t", 0x3A59},
    {u"wedding_anniversary:\t\t", 0x3A41},
    {u"birthday:\t\t", 0x3A42},
    {u"manager_name:\t\t", 0x3A4E},
    {u"nickname:\t\t", 0x3A4F},
    {u"personal_home_page:\t\t", 0x3A50},
    {u"business_home_page:\t\t", 0x3A51},
    {u"home_address_country:\t\t", 0x3A5A},
    {u"address_postal_code:\t\t", 0x3A5B},
    {u"home_address_state:\t\t", 0x3A5C},
    {u"other_address_city:\t\t", 0x3A5F},
    {u"other_address_country:\t\t", 0x3A60},
    {u"other_address_postal_code:\t\t", 0x3A61},
    {u"other_address_state:\t\t", 0x3A62},
    {u"other_address_street:\t\t", 0x3A63},
    {u"account:\t\t", 0x3A00},
    {u"ttytdd_phone_number:\t\t", 0x3A4B},
    {u"government_id_number:\t\t", 0x3A07},
    {u"organizational_id_number:\t\t", 0x3A10},
    {u"original_display_name:\t\t", 0x3A13},
    {u"business_street:\t\t", 0x3A29},
    {u"business_state:\t\t", 0x3A28},
    {u"business_postalcode:\t\t", 0x3A2A},
    {u"business_city:\t\t", 0x3A27},
    {u"work_country:\t\t", 0x8049},
    {u"work_city:\t\t", 0x8046},
    {u"work_street:\t\t", 0x8045},
    {u"work_state:\t\t", 0x8047},
    {u"work_postalcode:\t\t", 0x8048},
    {u"work_postofficebox:\t\t", 0x804A},
}};

constexpr std::size_t kEmailAddress1 = 20;
constexpr std::size_t kWeddingAnniversary = 44;
constexpr std::size_t kBirthday = 45;

using ContactFields = std::array<std::u16string, kContactFieldCount>;

ContactFields ReadContactFields(libpff_item_t* item) {
  ContactFields fields;
  for (std::size_t i = 0; i < kContactFields.size(); ++i) {
    fields[i] = PropertyTextOrEmpty(item, 0, kContactFields[i].property);
  }
  return fields;
}

std::u16string ContactFileText(const CommonTexts& common, ContactFields fields,
                               const AttachmentFiles& attachments) {
  for (const std::size_t date : {kWeddingAnniversary, kBirthday}) {
    if (!fields[date].empty()) fields[date] = RewriteDateText(std::move(fields[date]));
  }
  std::u16string text = u"Creationtime:\t\t" + RewriteDateText(common.creation_time) + u"\r\n";
  AppendLine(text, u"Subject:\t\t", common.subject);
  for (std::size_t i = 0; i < kContactFields.size(); ++i) {
    AppendLine(text, kContactFields[i].label, fields[i]);
  }
  AppendAttachmentLine(text, attachments, u"\r\n");
  text += u"\r\nMessage Note:\t\t\r\n\r\n";
  return text;
}

}  // namespace

int WriteContactItem(AppState& state, libpff_item_t* item, std::u16string_view folder_path) {
  if (!WriterInputsPresent(state, item, folder_path)) return -1;
  return HandleItem(state, folder_path, [&] {
    const CommonTexts common = ReadCommonTexts(item);
    ContactFields fields = ReadContactFields(item);
    ItemBody body = ReadItemBody(item);
    const RecipientListsReset reset(state);
    CollectRecipients(item, state.recipient_lists);
    const std::u16string number = NextNumberText(state);
    const AttachmentFiles attachments =
        TextItemAttachments(state, item, folder_path, common.subject, number);
    if (!IsUsableAddress(fields[kEmailAddress1])) fields[kEmailAddress1].clear();

    if (state.conversion_mode) {
      WriteConvertedTextFile(state, u"contact", folder_path, common.subject, number,
                             ContactFileText(common, fields, attachments), body.record,
                             attachments);
      state.main_window.SetStatusText(u"Saving Contact [" + number + u"]" +
                                      StatusPath(folder_path, common.subject));
    } else {
      state.main_window.InsertListRow(
          state.running_item_number,
          ListRow{number, u"contact", fields[kEmailAddress1], common.subject, common.creation_time,
                  common.flags, common.size});
      ContactRowRecord record;
      record.number = state.running_item_number;
      record.size = common.size;
      record.flags = common.flags;
      record.creation_time = common.creation_time;
      record.subject = common.subject;
      record.fields = std::move(fields);
      record.body = std::move(body.record);
      record.attachment_list = AttachmentListText(attachments.paths);
      state.row_records.Append(std::move(record));
    }
  });
}

}  // namespace bm
