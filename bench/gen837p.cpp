// Writes a generated 5010 837P interchange of N claims (one to six service
// lines each) to a file, for the converter benchmark.
//
//   gen837p CLAIMS OUTPUT [CLAIMS_PER_SET]
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A small deterministic generator so every run writes the same file.
struct Lcg {
    unsigned long long state;
    unsigned next(unsigned bound) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>((state >> 33) % bound);
    }
};

const char* const kLast[] = {"SMITH", "JOHNSON", "WILLIAMS", "BROWN", "JONES", "GARCIA", "MILLER", "DAVIS"};
const char* const kFirst[] = {"JAMES", "MARY", "ROBERT", "PATRICIA", "JOHN", "JENNIFER", "MICHAEL", "LINDA"};
const char* const kProc[] = {"99213", "99214", "85025", "80053", "36415", "93000", "71046", "97110"};
const char* const kDiag[] = {"J029", "E119", "I10", "M545", "R051", "Z0000", "K219", "F419"};

class Writer {
public:
    explicit Writer(std::FILE* f) : f_(f) { buf_.reserve(1 << 20); }
    ~Writer() { flush(); }
    void seg(const std::string& s) {
        buf_ += s;
        buf_ += "~\n";
        ++segments_;
        if (buf_.size() > (1 << 20) - 4096) flush();
    }
    void flush() {
        std::fwrite(buf_.data(), 1, buf_.size(), f_);
        buf_.clear();
    }
    long long segments() const { return segments_; }
    void resetCount() { segments_ = 0; }

private:
    std::FILE* f_;
    std::string buf_;
    long long segments_ = 0;
};

std::string num(unsigned long long n, int width) {
    std::string s = std::to_string(n);
    return s.size() >= static_cast<size_t>(width) ? s : std::string(width - s.size(), '0') + s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: gen837p CLAIMS OUTPUT [CLAIMS_PER_SET]\n");
        return 2;
    }
    long long claims = std::atoll(argv[1]);
    long long perSet = argc > 3 ? std::atoll(argv[3]) : 100;
    if (perSet <= 0) perSet = 100;
    std::FILE* f = std::fopen(argv[2], "wb");
    if (!f) {
        std::perror(argv[2]);
        return 1;
    }
    Lcg rng{20240101};
    {
        Writer w(f);
        w.seg("ISA*00*          *00*          *ZZ*SUBMITTER01    *ZZ*RECEIVER01     *240101*1200*^*00501*000000001*0*P*:");
        w.seg("GS*HC*SUBMITTER01*RECEIVER01*20240101*1200*1*X*005010X222A1");
        long long claim = 0, set = 0;
        while (claim < claims) {
            ++set;
            w.resetCount();
            std::string ctl = num(static_cast<unsigned long long>(set), 4);
            w.seg("ST*837*" + ctl + "*005010X222A1");
            w.seg("BHT*0019*00*BATCH" + ctl + "*20240101*1200*CH");
            w.seg("NM1*41*2*SUBMITTER CLEARING HOUSE*****46*SUB12345");
            w.seg("PER*IC*JANE DOE*TE*5555551234");
            w.seg("NM1*40*2*RECEIVER PAYER NETWORK*****46*REC67890");
            long long hl = 0;
            long long inSet = 0;
            while (inSet < perSet && claim < claims) {
                if (inSet % 25 == 0) {
                    long long parent = ++hl;
                    w.seg("HL*" + std::to_string(parent) + "**20*1");
                    w.seg("NM1*85*2*GENERAL CLINIC " + std::to_string(rng.next(100)) + "*****XX*1234567893");
                    w.seg("N3*123 MAIN STREET, SUITE 4");
                    w.seg("N4*SPRINGFIELD*IL*627010000");
                    w.seg("REF*EI*123456789");
                }
                ++claim;
                ++inSet;
                long long me = ++hl;
                (void)me;
                w.seg("HL*" + std::to_string(me) + "*1*22*0");
                w.seg("SBR*P*18*GRP" + num(rng.next(100000), 5) + "******CI");
                std::string last = kLast[rng.next(8)], first = kFirst[rng.next(8)];
                w.seg("NM1*IL*1*" + last + "*" + first + "*Q***MI*W" + num(static_cast<unsigned long long>(claim), 9));
                w.seg("N3*" + std::to_string(10 + rng.next(9000)) + " OAK AVENUE");
                w.seg("N4*SPRINGFIELD*IL*62704" + num(rng.next(10000), 4));
                w.seg("DMG*D8*19" + num(40 + rng.next(60), 2) + "0" + std::to_string(1 + rng.next(9)) + "15*" +
                      (rng.next(2) ? "M" : "F"));
                w.seg("NM1*PR*2*HEALTH PLAN OF ILLINOIS*****PI*HPI" + num(rng.next(1000), 3));
                unsigned lines = 1 + rng.next(6);
                unsigned charges[6];
                unsigned total = 0;
                for (unsigned l = 0; l < lines; ++l) total += charges[l] = 25 + rng.next(400);
                w.seg("CLM*PCN" + num(static_cast<unsigned long long>(claim), 10) + "*" + std::to_string(total) +
                      "***11:B:1*Y*A*Y*Y");
                if (rng.next(3) == 0) w.seg("DTP*431*D8*202312" + num(1 + rng.next(28), 2));
                if (rng.next(4) == 0) w.seg("REF*G1*AUTH" + num(rng.next(1000000), 6));
                w.seg(std::string("HI*ABK:") + kDiag[rng.next(8)] + "*ABF:" + kDiag[rng.next(8)] +
                      (rng.next(2) ? std::string("*ABF:") + kDiag[rng.next(8)] : std::string()));
                w.seg("NM1*82*1*" + std::string(kLast[rng.next(8)]) + "*" + kFirst[rng.next(8)] + "****XX*1497758544");
                if (rng.next(2)) w.seg("NM1*DN*1*" + std::string(kLast[rng.next(8)]) + "*" + kFirst[rng.next(8)] + "****XX*1730189877");
                for (unsigned l = 0; l < lines; ++l) {
                    w.seg("LX*" + std::to_string(l + 1));
                    std::string mod = rng.next(3) == 0 ? ":25" : "";
                    w.seg("SV1*HC:" + std::string(kProc[rng.next(8)]) + mod + "*" + std::to_string(charges[l]) +
                          "*UN*" + std::to_string(1 + rng.next(3)) + "***1:2");
                    w.seg("DTP*472*D8*202401" + num(1 + rng.next(28), 2));
                    w.seg("REF*6R*LN" + num(static_cast<unsigned long long>(claim), 9) + std::to_string(l + 1));
                }
            }
            w.seg("SE*" + std::to_string(w.segments() + 1) + "*" + ctl);
        }
        w.seg("GE*" + std::to_string(set) + "*1");
        w.seg("IEA*1*000000001");
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
