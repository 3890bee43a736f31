// Authenticode with libcrypto: the PKCS#7 SignedData from the certificate table, its
// SpcIndirectDataContent read by our own strict DER reader, the one signer's signature over
// its authenticated attributes, and the image hash over the bytes the layout reader names.
//
// No chain is built and no date is looked at: an expired signer, or one no system root
// vouches for, passes this check. Whether the signer is trusted is the caller's pin of
// signerKeySha256 to decide.
#include "platform/posix/Authenticode.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>

namespace platform {
namespace {

// OIDs by their DER content bytes.
using Oid = std::basic_string_view<std::uint8_t>;
constexpr std::uint8_t kSpcIndirectDataOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82,
                                                0x37, 0x02, 0x01, 0x04};  // 1.3.6.1.4.1.311.2.1.4
constexpr std::uint8_t kSpcPeImageDataOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82,
                                               0x37, 0x02, 0x01, 0x0F};  // 1.3.6.1.4.1.311.2.1.15
constexpr std::uint8_t kSha1Oid[] = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
constexpr std::uint8_t kSha256Oid[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
constexpr std::uint8_t kSha384Oid[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02};
constexpr std::uint8_t kSha512Oid[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03};

Oid OidOf(const std::uint8_t* bytes, std::size_t size) {
    return Oid(bytes, size);
}
template <std::size_t N>
Oid OidOf(const std::uint8_t (&bytes)[N]) {
    return Oid(bytes, N);
}
Oid OidOf(const ASN1_OBJECT* object) {
    const int size = object ? OBJ_length(object) : 0;
    return size > 0 ? Oid(OBJ_get0_data(object), static_cast<std::size_t>(size)) : Oid();
}

// The digests a signature may name; MD5 and anything else is refused.
const EVP_MD* DigestByOid(Oid oid) {
    if (oid == OidOf(kSha1Oid)) return EVP_sha1();
    if (oid == OidOf(kSha256Oid)) return EVP_sha256();
    if (oid == OidOf(kSha384Oid)) return EVP_sha384();
    if (oid == OidOf(kSha512Oid)) return EVP_sha512();
    return nullptr;
}

// One DER element: a one-byte tag, a definite length in its shortest form.
struct Element {
    std::uint8_t tag = 0;
    const std::uint8_t* contents = nullptr;
    std::size_t size = 0;
};

class DerReader {
  public:
    DerReader(const std::uint8_t* p, std::size_t size) : p_(p), left_(size) {}
    bool empty() const { return left_ == 0; }
    std::size_t consumed(const std::uint8_t* start) const {
        return static_cast<std::size_t>(p_ - start);
    }

    std::optional<Element> Next() {
        if (left_ < 2 || (p_[0] & 0x1F) == 0x1F) return std::nullopt;
        Element element;
        element.tag = p_[0];
        std::size_t length = p_[1];
        std::size_t header = 2;
        if (length & 0x80) {
            const std::size_t count = length & 0x7F;
            // Indefinite (0), longer than any signature, or cut short.
            if (count == 0 || count > 3 || left_ - 2 < count || p_[2] == 0) return std::nullopt;
            length = 0;
            for (std::size_t i = 0; i < count; ++i) length = length << 8 | p_[2 + i];
            if (length < 0x80) return std::nullopt;  // the short form was due
            header += count;
        }
        if (length > left_ - header) return std::nullopt;
        element.contents = p_ + header;
        element.size = length;
        p_ += header + length;
        left_ -= header + length;
        return element;
    }

    std::optional<Element> Next(std::uint8_t tag) {
        auto element = Next();
        if (!element || element->tag != tag) return std::nullopt;
        return element;
    }

  private:
    const std::uint8_t* p_;
    std::size_t left_;
};

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kOid = 0x06;
constexpr std::uint8_t kNull = 0x05;
constexpr std::uint8_t kOctetString = 0x04;

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Deleter<PKCS7, PKCS7_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
void FreeOpenSsl(unsigned char* p) {
    OPENSSL_free(p);
}
using OpenSslBytes = std::unique_ptr<unsigned char, Deleter<unsigned char, FreeOpenSsl>>;
void FreeEku(EXTENDED_KEY_USAGE* p) {
    EXTENDED_KEY_USAGE_free(p);
}
using EkuPtr = std::unique_ptr<EXTENDED_KEY_USAGE, Deleter<EXTENDED_KEY_USAGE, FreeEku>>;
using BitStringPtr =
    std::unique_ptr<ASN1_BIT_STRING, Deleter<ASN1_BIT_STRING, ASN1_BIT_STRING_free>>;

std::string Hex(const unsigned char* p, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[p[i] >> 4];
        text += kDigits[p[i] & 0xF];
    }
    return text;
}

std::string KeySha256(X509* cert) {
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der);
    const OpenSslBytes owned(der);
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestSize = 0;
    if (length <= 0 || !EVP_Digest(der, static_cast<std::size_t>(length), digest.data(),
                                   &digestSize, EVP_sha256(), nullptr))
        return {};
    return Hex(digest.data(), digestSize);
}

// RDNs most specific first ("CN=…, O=…"), OpenSSL's short names, values in UTF-8 with
// RFC 2253's backslash escapes (",", "+", "\"", "\\", "<", ">", ";", a leading "#" or space)
// and control characters as \XX; attributes of unknown type as OID=#hex.
std::string Subject(X509* cert) {
    const BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio) return {};
    constexpr unsigned long kUtf8 =
        (XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB & ~XN_FLAG_SEP_MASK) | XN_FLAG_SEP_CPLUS_SPC;
    constexpr unsigned long kEscaped =
        (XN_FLAG_RFC2253 & ~XN_FLAG_SEP_MASK) | XN_FLAG_SEP_CPLUS_SPC;
    // A UTF8String that is no UTF-8 cannot be converted; then every byte above 0x7F is escaped.
    if (X509_NAME_print_ex(bio.get(), X509_get_subject_name(cert), 0, kUtf8) < 0) {
        (void)BIO_reset(bio.get());
        if (X509_NAME_print_ex(bio.get(), X509_get_subject_name(cert), 0, kEscaped) < 0) return {};
    }
    char* text = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &text);
    return size > 0 ? std::string(text, static_cast<std::size_t>(size)) : std::string();
}

// The attribute `nid` among the authenticated ones, once and with one value; else nothing.
ASN1_TYPE* SingleAttribute(const STACK_OF(X509_ATTRIBUTE) * attributes, int nid) {
    const int at = X509at_get_attr_by_NID(attributes, nid, -1);
    if (at < 0 || X509at_get_attr_by_NID(attributes, nid, at) >= 0) return nullptr;
    X509_ATTRIBUTE* attribute = X509at_get_attr(attributes, at);
    if (X509_ATTRIBUTE_count(attribute) != 1) return nullptr;
    return X509_ATTRIBUTE_get0_type(attribute, 0);
}

SignatureCheck Fail(SignatureCheck check, SignatureStatus status, std::string detail) {
    check.status = status;
    check.detail = std::move(detail);
    return check;
}

// Extended key usage codeSigning, and digitalSignature when a key usage is given.
bool SignsCode(X509* cert, std::string& why) {
    int critical = 0;
    const EkuPtr usages(static_cast<EXTENDED_KEY_USAGE*>(
        X509_get_ext_d2i(cert, NID_ext_key_usage, &critical, nullptr)));
    bool codeSigning = false;
    for (int i = 0; usages && i < sk_ASN1_OBJECT_num(usages.get()); ++i)
        codeSigning =
            codeSigning || OBJ_obj2nid(sk_ASN1_OBJECT_value(usages.get(), i)) == NID_code_sign;
    if (!codeSigning) {
        why = "the signer's certificate has no extended key usage codeSigning";
        return false;
    }
    const BitStringPtr keyUsage(
        static_cast<ASN1_BIT_STRING*>(X509_get_ext_d2i(cert, NID_key_usage, &critical, nullptr)));
    if (!keyUsage && critical != -1) {  // -1: absent; else unreadable or given twice
        why = "the signer's key usage cannot be read";
        return false;
    }
    if (keyUsage && !ASN1_BIT_STRING_get_bit(keyUsage.get(), 0)) {
        why = "the signer's key usage lacks digitalSignature";
        return false;
    }
    return true;
}

// The signer's signature over its authenticated attributes, which must name the content as
// SpcIndirectDataContent and carry the digest of its bytes (the outer SEQUENCE's contents).
bool SignatureHolds(PKCS7_SIGNER_INFO* signer, X509* cert, const std::uint8_t* content,
                    std::size_t contentSize, std::string& why) {
    const EVP_MD* md =
        DigestByOid(OidOf(signer->digest_alg ? signer->digest_alg->algorithm : nullptr));
    if (!md) {
        why = "the signer's digest algorithm is not accepted";
        return false;
    }
    const STACK_OF(X509_ATTRIBUTE)* attributes = signer->auth_attr;
    if (!attributes || sk_X509_ATTRIBUTE_num(attributes) == 0) {
        why = "the signature has no authenticated attributes";
        return false;
    }
    const ASN1_TYPE* contentType = SingleAttribute(attributes, NID_pkcs9_contentType);
    if (!contentType || contentType->type != V_ASN1_OBJECT ||
        OidOf(contentType->value.object) != OidOf(kSpcIndirectDataOid)) {
        why = "the authenticated content type is not SpcIndirectDataContent";
        return false;
    }
    const ASN1_TYPE* messageDigest = SingleAttribute(attributes, NID_pkcs9_messageDigest);
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestSize = 0;
    if (!messageDigest || messageDigest->type != V_ASN1_OCTET_STRING ||
        !EVP_Digest(content, contentSize, digest.data(), &digestSize, md, nullptr) ||
        static_cast<unsigned int>(ASN1_STRING_length(messageDigest->value.octet_string)) !=
            digestSize ||
        std::memcmp(ASN1_STRING_get0_data(messageDigest->value.octet_string), digest.data(),
                    digestSize) != 0) {
        why = "the authenticated message digest is not that of the SpcIndirectDataContent";
        return false;
    }
    // The attributes as signed: a SET, in their order.
    unsigned char* der = nullptr;
    const int derSize = ASN1_item_i2d(
        reinterpret_cast<ASN1_VALUE*>(const_cast<STACK_OF(X509_ATTRIBUTE)*>(attributes)), &der,
        ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    const OpenSslBytes owned(der);
    EVP_PKEY* key = X509_get0_pubkey(cert);
    const MdCtxPtr context(EVP_MD_CTX_new());
    if (derSize <= 0 || !key || !context || !signer->enc_digest ||
        EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, key) != 1 ||
        EVP_DigestVerify(context.get(), ASN1_STRING_get0_data(signer->enc_digest),
                         static_cast<std::size_t>(ASN1_STRING_length(signer->enc_digest)), der,
                         static_cast<std::size_t>(derSize)) != 1) {
        why = "the signer's signature does not verify";
        return false;
    }
    return true;
}

// The image hash over `ranges`, read in large blocks; nothing when a read fails.
std::optional<std::vector<std::uint8_t>> ImageHash(const ReadAt& read,
                                                   const std::vector<ByteRange>& ranges,
                                                   const EVP_MD* md) {
    const MdCtxPtr context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1) return std::nullopt;
    // A small file needs no block of the full size.
    std::uint64_t total = 0;
    for (const ByteRange& range : ranges) total += range.size;
    const std::size_t blockSize =
        static_cast<std::size_t>(std::clamp<std::uint64_t>(total, 1, kImageHashBlock));
    const std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[blockSize]);
    for (const ByteRange& range : ranges) {
        for (std::uint64_t done = 0; done < range.size;) {
            // Reads end on the file's block boundaries, so all but the first start on a page.
            const std::uint64_t at = range.offset + done;
            const std::size_t size = static_cast<std::size_t>(
                std::min<std::uint64_t>(range.size - done, blockSize - at % blockSize));
            if (!read(at, size, block.get()) ||
                EVP_DigestUpdate(context.get(), block.get(), size) != 1)
                return std::nullopt;
            done += size;
        }
    }
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1) return std::nullopt;
    digest.resize(size);
    return digest;
}

}  // namespace

std::optional<SpcIndirectData> ReadSpcIndirectData(const std::uint8_t* der, std::size_t size) {
    DerReader outer(der, size);
    const auto content = outer.Next(kSequence);
    if (!content || !outer.empty()) return std::nullopt;
    SpcIndirectData data;
    data.contentsAt = static_cast<std::size_t>(content->contents - der);

    DerReader fields(content->contents, content->size);
    // SpcAttributeTypeAndOptionalValue { type OID, value ANY }: the data of a PE image, whose
    // SpcPeImageData the digest does not depend on.
    const auto attribute = fields.Next(kSequence);
    if (!attribute) return std::nullopt;
    DerReader typeAndValue(attribute->contents, attribute->size);
    const auto type = typeAndValue.Next(kOid);
    if (!type || OidOf(type->contents, type->size) != OidOf(kSpcPeImageDataOid))
        return std::nullopt;
    if (!typeAndValue.empty() && (!typeAndValue.Next() || !typeAndValue.empty()))
        return std::nullopt;

    // DigestInfo { AlgorithmIdentifier { OID, NULL or nothing }, OCTET STRING }.
    const auto digestInfo = fields.Next(kSequence);
    if (!digestInfo || !fields.empty()) return std::nullopt;
    DerReader info(digestInfo->contents, digestInfo->size);
    const auto algorithm = info.Next(kSequence);
    const auto digest = info.Next(kOctetString);
    if (!algorithm || !digest || !info.empty()) return std::nullopt;
    DerReader identifier(algorithm->contents, algorithm->size);
    const auto oid = identifier.Next(kOid);
    if (!oid || oid->size == 0) return std::nullopt;
    if (!identifier.empty()) {
        const auto parameters = identifier.Next(kNull);
        if (!parameters || parameters->size != 0 || !identifier.empty()) return std::nullopt;
    }
    if (digest->size < 20 || digest->size > 64) return std::nullopt;
    data.digestAlgorithm.assign(oid->contents, oid->contents + oid->size);
    data.digest.assign(digest->contents, digest->contents + digest->size);
    return data;
}

SignatureCheck CheckAuthenticode(const ReadAt& read, std::uint64_t fileSize) {
    // A refused signature leaves libcrypto's reasons in this thread's error queue, where the
    // next user of libcrypto (Qt's TLS among them) would take them for its own.
    struct ClearErrors {
        ~ClearErrors() { ERR_clear_error(); }
    } clearErrors;
    SignatureCheck check;
    const PeSignedImage image = ReadPeSignedImage(read, fileSize);
    if (!image.isPe || !image.malformed.empty())
        return Fail(check, SignatureStatus::Malformed, image.malformed);
    if (!image.hasSignature) return Fail(check, SignatureStatus::NotSigned, "no signature");

    const unsigned char* p = image.signedData.data();
    const Pkcs7Ptr pkcs7(d2i_PKCS7(nullptr, &p, static_cast<long>(image.signedData.size())));
    if (!pkcs7 || p != image.signedData.data() + image.signedData.size() ||
        OBJ_obj2nid(pkcs7->type) != NID_pkcs7_signed || !pkcs7->d.sign)
        return Fail(check, SignatureStatus::Malformed, "the signature is no PKCS#7 SignedData");
    PKCS7_SIGNED* signedData = pkcs7->d.sign;
    const PKCS7* content = signedData->contents;
    if (!content || OidOf(content->type) != OidOf(kSpcIndirectDataOid) || !content->d.other ||
        content->d.other->type != V_ASN1_SEQUENCE || !content->d.other->value.sequence)
        return Fail(check, SignatureStatus::Malformed,
                    "the signed content is no SpcIndirectDataContent");
    if (sk_PKCS7_SIGNER_INFO_num(signedData->signer_info) != 1)
        return Fail(check, SignatureStatus::Malformed, "not exactly one signer");
    PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(signedData->signer_info, 0);
    if (!signer || !signer->issuer_and_serial)
        return Fail(check, SignatureStatus::Malformed, "the signer is not named");
    X509* cert = X509_find_by_issuer_and_serial(signedData->cert, signer->issuer_and_serial->issuer,
                                                signer->issuer_and_serial->serial);
    if (!cert)
        return Fail(check, SignatureStatus::Malformed, "the signer's certificate is missing");
    check.signerKeySha256 = KeySha256(cert);
    check.signerSubject = Subject(cert);

    const ASN1_STRING* spcDer = content->d.other->value.sequence;
    const std::uint8_t* spcBytes = ASN1_STRING_get0_data(spcDer);
    const auto spc =
        ReadSpcIndirectData(spcBytes, static_cast<std::size_t>(ASN1_STRING_length(spcDer)));
    if (!spc)
        return Fail(check, SignatureStatus::Malformed, "the SpcIndirectDataContent cannot be read");
    if (image.dataOutsideImage)
        return Fail(check, SignatureStatus::DataOutsideImage, "bytes outside the signed image");

    std::string why;
    if (!SignsCode(cert, why)) return Fail(check, SignatureStatus::WrongKeyUsage, why);
    if (!SignatureHolds(signer, cert, spcBytes + spc->contentsAt,
                        static_cast<std::size_t>(ASN1_STRING_length(spcDer)) - spc->contentsAt,
                        why))
        return Fail(check, SignatureStatus::BadSignature, why);

    const EVP_MD* md = DigestByOid(OidOf(spc->digestAlgorithm.data(), spc->digestAlgorithm.size()));
    if (!md)
        return Fail(check, SignatureStatus::BadSignature,
                    "the image digest algorithm is not accepted");
    if (static_cast<std::size_t>(EVP_MD_get_size(md)) != spc->digest.size())
        return Fail(check, SignatureStatus::Malformed, "the image digest has a wrong length");
    const auto digest = ImageHash(read, image.hashed, md);
    if (!digest) return Fail(check, SignatureStatus::Unreadable, "the image cannot be read");
    if (*digest != spc->digest)
        return Fail(check, SignatureStatus::DigestMismatch, "the image was changed after signing");
    check.status = SignatureStatus::Valid;
    return check;
}

}  // namespace platform
