// The property ids the program reads, in one table: plain ids (the upper half of a MAPI tag)
// and the named properties (property set and LID), which a store maps to ids of its own.
#pragma once

#include <cstdint>

#include "pst/store.h"

namespace bm::mapi {

// Property ids below 0x8000: the same in every store.
namespace pid {
inline constexpr std::uint16_t kMessageClass = 0x001A;
inline constexpr std::uint16_t kImportance = 0x0017;
inline constexpr std::uint16_t kPriority = 0x0026;
inline constexpr std::uint16_t kLanguages = 0x002F;
inline constexpr std::uint16_t kSensitivity = 0x0036;
inline constexpr std::uint16_t kSubject = 0x0037;
inline constexpr std::uint16_t kClientSubmitTime = 0x0039;
inline constexpr std::uint16_t kSentRepresentingName = 0x0042;
inline constexpr std::uint16_t kSentRepresentingAddressType = 0x0064;
inline constexpr std::uint16_t kSentRepresentingEmailAddress = 0x0065;
inline constexpr std::uint16_t kConversationTopic = 0x0070;
inline constexpr std::uint16_t kTransportMessageHeaders = 0x007D;
inline constexpr std::uint16_t kRecipientType = 0x0C15;
inline constexpr std::uint16_t kSenderName = 0x0C1A;
inline constexpr std::uint16_t kSenderAddressType = 0x0C1E;
inline constexpr std::uint16_t kSenderEmailAddress = 0x0C1F;
inline constexpr std::uint16_t kMessageDeliveryTime = 0x0E06;
inline constexpr std::uint16_t kMessageFlags = 0x0E07;
inline constexpr std::uint16_t kMessageSize = 0x0E08;
inline constexpr std::uint16_t kAttachSize = 0x0E20;
inline constexpr std::uint16_t kBody = 0x1000;
inline constexpr std::uint16_t kRtfCompressed = 0x1009;
inline constexpr std::uint16_t kHtml = 0x1013;
inline constexpr std::uint16_t kInternetMessageId = 0x1035;
inline constexpr std::uint16_t kInternetReferences = 0x1039;
inline constexpr std::uint16_t kInReplyToId = 0x1042;
inline constexpr std::uint16_t kDisplayName = 0x3001;
inline constexpr std::uint16_t kAddressType = 0x3002;
inline constexpr std::uint16_t kEmailAddress = 0x3003;
inline constexpr std::uint16_t kCreationTime = 0x3007;
inline constexpr std::uint16_t kLastModificationTime = 0x3008;
inline constexpr std::uint16_t kContentCount = 0x3602;
inline constexpr std::uint16_t kContainerClass = 0x3613;
inline constexpr std::uint16_t kAttachDataBinary = 0x3701;
inline constexpr std::uint16_t kAttachFilename = 0x3704;
inline constexpr std::uint16_t kAttachMethod = 0x3705;
inline constexpr std::uint16_t kAttachLongFilename = 0x3707;
inline constexpr std::uint16_t kAttachMimeTag = 0x370E;
inline constexpr std::uint16_t kAttachContentId = 0x3712;
inline constexpr std::uint16_t kAttachContentLocation = 0x3713;
inline constexpr std::uint16_t kSmtpAddress = 0x39FE;
inline constexpr std::uint16_t kInternetCodepage = 0x3FDE;
inline constexpr std::uint16_t kMessageCodepage = 0x3FFD;
inline constexpr std::uint16_t kSenderSmtpAddress = 0x5D01;
inline constexpr std::uint16_t kSentRepresentingSmtpAddress = 0x5D02;
inline constexpr std::uint16_t kRecipientDisplayName = 0x5FF6;
inline constexpr std::uint16_t kAttachmentHidden = 0x7FFE;

// Contact properties with ids of their own.
inline constexpr std::uint16_t kAccount = 0x3A00;
inline constexpr std::uint16_t kCallbackTelephoneNumber = 0x3A02;
inline constexpr std::uint16_t kGeneration = 0x3A05;
inline constexpr std::uint16_t kGivenName = 0x3A06;
inline constexpr std::uint16_t kGovernmentIdNumber = 0x3A07;
inline constexpr std::uint16_t kBusinessTelephoneNumber = 0x3A08;
inline constexpr std::uint16_t kHomeTelephoneNumber = 0x3A09;
inline constexpr std::uint16_t kInitials = 0x3A0A;
inline constexpr std::uint16_t kOrganizationalIdNumber = 0x3A10;
inline constexpr std::uint16_t kSurname = 0x3A11;
inline constexpr std::uint16_t kOriginalDisplayName = 0x3A13;
inline constexpr std::uint16_t kPostalAddress = 0x3A15;
inline constexpr std::uint16_t kCompanyName = 0x3A16;
inline constexpr std::uint16_t kTitle = 0x3A17;
inline constexpr std::uint16_t kDepartmentName = 0x3A18;
inline constexpr std::uint16_t kOfficeLocation = 0x3A19;
inline constexpr std::uint16_t kPrimaryTelephoneNumber = 0x3A1A;
inline constexpr std::uint16_t kBusiness2TelephoneNumber = 0x3A1B;
inline constexpr std::uint16_t kMobileTelephoneNumber = 0x3A1C;
inline constexpr std::uint16_t kRadioTelephoneNumber = 0x3A1D;
inline constexpr std::uint16_t kCarTelephoneNumber = 0x3A1E;
inline constexpr std::uint16_t kOtherTelephoneNumber = 0x3A1F;
inline constexpr std::uint16_t kPagerTelephoneNumber = 0x3A21;
inline constexpr std::uint16_t kPrimaryFaxNumber = 0x3A23;
inline constexpr std::uint16_t kBusinessFaxNumber = 0x3A24;
inline constexpr std::uint16_t kHomeFaxNumber = 0x3A25;
inline constexpr std::uint16_t kCountry = 0x3A26;
inline constexpr std::uint16_t kLocality = 0x3A27;
inline constexpr std::uint16_t kStateOrProvince = 0x3A28;
inline constexpr std::uint16_t kStreetAddress = 0x3A29;
inline constexpr std::uint16_t kPostalCode = 0x3A2A;
inline constexpr std::uint16_t kTelexNumber = 0x3A2C;
inline constexpr std::uint16_t kIsdnNumber = 0x3A2D;
inline constexpr std::uint16_t kAssistantTelephoneNumber = 0x3A2E;
inline constexpr std::uint16_t kHome2TelephoneNumber = 0x3A2F;
inline constexpr std::uint16_t kAssistant = 0x3A30;
inline constexpr std::uint16_t kWeddingAnniversary = 0x3A41;
inline constexpr std::uint16_t kBirthday = 0x3A42;
inline constexpr std::uint16_t kHobbies = 0x3A43;
inline constexpr std::uint16_t kMiddleName = 0x3A44;
inline constexpr std::uint16_t kDisplayNamePrefix = 0x3A45;
inline constexpr std::uint16_t kProfession = 0x3A46;
inline constexpr std::uint16_t kSpouseName = 0x3A48;
inline constexpr std::uint16_t kCustomerId = 0x3A4A;
inline constexpr std::uint16_t kTtyTddPhoneNumber = 0x3A4B;
inline constexpr std::uint16_t kGender = 0x3A4D;
inline constexpr std::uint16_t kManagerName = 0x3A4E;
inline constexpr std::uint16_t kNickname = 0x3A4F;
inline constexpr std::uint16_t kPersonalHomePage = 0x3A50;
inline constexpr std::uint16_t kBusinessHomePage = 0x3A51;
inline constexpr std::uint16_t kCompanyMainTelephoneNumber = 0x3A57;
inline constexpr std::uint16_t kHomeAddressCity = 0x3A59;
inline constexpr std::uint16_t kHomeAddressCountry = 0x3A5A;
inline constexpr std::uint16_t kHomeAddressPostalCode = 0x3A5B;
inline constexpr std::uint16_t kHomeAddressStateOrProvince = 0x3A5C;
inline constexpr std::uint16_t kHomeAddressStreet = 0x3A5D;
inline constexpr std::uint16_t kOtherAddressCity = 0x3A5F;
inline constexpr std::uint16_t kOtherAddressCountry = 0x3A60;
inline constexpr std::uint16_t kOtherAddressPostalCode = 0x3A61;
inline constexpr std::uint16_t kOtherAddressStateOrProvince = 0x3A62;
inline constexpr std::uint16_t kOtherAddressStreet = 0x3A63;
}  // namespace pid

// Property sets of the named properties below, in the byte order a store keeps them.
namespace pset {
inline constexpr pst::Guid kAppointment{{0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00,
                                         0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr pst::Guid kTask{{0x03, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00,
                                  0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr pst::Guid kAddress{{0x04, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00,
                                     0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr pst::Guid kCommon{{0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00,
                                    0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}  // namespace pset

// A named property by its set and number (LID).
struct NamedId {
  pst::Guid set;
  std::uint32_t lid = 0;
  pst::PropertyName name() const { return pst::PropertyName{set, lid}; }
};

namespace lid {
// Contacts.
inline constexpr NamedId kFileUnder{pset::kAddress, 0x8005};
inline constexpr NamedId kWorkAddressStreet{pset::kAddress, 0x8045};
inline constexpr NamedId kWorkAddressCity{pset::kAddress, 0x8046};
inline constexpr NamedId kWorkAddressState{pset::kAddress, 0x8047};
inline constexpr NamedId kWorkAddressPostalCode{pset::kAddress, 0x8048};
inline constexpr NamedId kWorkAddressCountry{pset::kAddress, 0x8049};
inline constexpr NamedId kWorkAddressPostOfficeBox{pset::kAddress, 0x804A};
inline constexpr NamedId kEmail1EmailAddress{pset::kAddress, 0x8083};
inline constexpr NamedId kEmail2EmailAddress{pset::kAddress, 0x8093};
inline constexpr NamedId kEmail3EmailAddress{pset::kAddress, 0x80A3};

// Tasks.
inline constexpr NamedId kTaskStatus{pset::kTask, 0x8101};
inline constexpr NamedId kPercentComplete{pset::kTask, 0x8102};
inline constexpr NamedId kTaskStartDate{pset::kTask, 0x8104};
inline constexpr NamedId kTaskDueDate{pset::kTask, 0x8105};
inline constexpr NamedId kTaskActualEffort{pset::kTask, 0x8110};
inline constexpr NamedId kTaskEstimatedEffort{pset::kTask, 0x8111};
inline constexpr NamedId kTaskVersion{pset::kTask, 0x8112};
inline constexpr NamedId kTaskComplete{pset::kTask, 0x811C};

// Appointments.
inline constexpr NamedId kBusyStatus{pset::kAppointment, 0x8205};
inline constexpr NamedId kLocation{pset::kAppointment, 0x8208};
inline constexpr NamedId kAppointmentStartWhole{pset::kAppointment, 0x820D};
inline constexpr NamedId kAppointmentEndWhole{pset::kAppointment, 0x820E};
inline constexpr NamedId kAppointmentDuration{pset::kAppointment, 0x8213};
inline constexpr NamedId kRecurrencePattern{pset::kAppointment, 0x8232};
inline constexpr NamedId kClipStart{pset::kAppointment, 0x8235};
inline constexpr NamedId kClipEnd{pset::kAppointment, 0x8236};
}  // namespace lid

// A property to read: a plain id, or a named property the store maps to an id.
struct PropertyKey {
  std::uint16_t id = 0;  // used when `named` is false
  NamedId named_id{};
  bool named = false;
  constexpr PropertyKey(std::uint16_t plain) : id(plain) {}
  constexpr PropertyKey(NamedId named_property) : named_id(named_property), named(true) {}
};

// The id `key` has in `store`; nothing for a named property the store's name map lacks.
std::optional<std::uint16_t> IdIn(const pst::Store& store, const PropertyKey& key);

}  // namespace bm::mapi
