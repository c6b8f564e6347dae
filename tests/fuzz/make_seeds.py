#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from the examples and small
hand-made cases. Run it again after changing a seed; the files are kept in git."""
import os
import pathlib
import struct

ROOT = pathlib.Path(__file__).resolve().parent
SRC = ROOT.parent.parent
DIV = b"\n#--#\n"

ISA = (b"ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       "
       b"*260115*0930*^*00501*000000101*0*T*:~")


def interchange(body: bytes, version=b"005010X222A1") -> bytes:
    return ISA + b"GS*HC*S*R*20260115*0930*1*X*" + version + b"~" + body + b"GE*1*1~IEA*1*000000101~"


CLAIMS = interchange(
    b"ST*837*0001~NM1*41*2*ACME & SONS <X>~NM1*PR*2*PAYER ONE~NM1*PR*2*PAYER TWO~HL*1**20*1~"
    b"NM1*85*2*NORTH CLINIC~REF*EI*123~HL*2*1*22*0~CLM*A1*100~HI*BK:4019*BF:25000~LX*1~"
    b"SV1*HC:99213*40~DTP*472*D8*20260101~LX*2~SV1*HC:87070*60~HL*3**20*1~NM1*85*2*SOUTH CLINIC~"
    b"HL*4*3*22*0~CLM*A2*50~LX*1~SV1*HC:99212*50~SE*17*0001~")

PARSE_MAP = (b"KEYHEADERFIELD=HL,,,20\r\nKEYFIELD=CLM\r\nKEYLINEFIELD=LX\r\n"
             b"FIELD=SENDER,15,NM1,41,2,3,,,,1,,Sender\r\n"
             b"FIELD=PROVIDER,35,NM1,85,2,3,,,,2,,Provider\r\n"
             b"FIELD=CLAIMID,20,CLM,,,1,,,,0,,Claim\r\n"
             b"FIELD=PROC1,10,SV1,HC,2,1,2,,,0,1,Procedure\r\n"
             b"FIELD=CHG1,10,SV1,HC,2,2,,,,0,1,Line charge\r\n"
             b"FIELD=SRC,50,,,,,,,,5\r\nFIELD=END,1,ZZZ\r\n")

GEN_MAP = (b"X12TRANSACTIONTYPE=837\r\nVERSION=005010X222A1\r\nISA06=SENDER\r\nGS6=1\r\n"
           b"FIELD=CLAIMID,20\r\nFIELD=NOTE,80\r\nFIELD=CHARGE1,10,,,,,,,,0,1\r\n"
           b"FIELD=UNITS1,10,,,,,,,,0,1\r\n"
           b"SEGMENT=2,CLM,$CLAIMID\r\nSEGMENT=2,NTE,ADD,$NOTE\r\nSEGMENT=3,LX,$LX\r\n"
           b"SEGMENT=3,SV1,HC:$CHARGE,$UNITS\r\nSEGMENT=4,HL,$HL,,20,1\r\n")

XML_DOC = (b"<?xml version=\"1.0\"  encoding=\"ISO-8859-1\"?>\r\n<EXPORTDATA>\r\n"
           b"<BATCH>\r\n<SENDERID>ABC</SENDERID>\r\n<ISA13>12</ISA13>\r\n<GS01>HC</GS01>\r\n</BATCH>\r\n"
           b"<CLAIM>\r\n<CLAIMID>C1</CLAIMID>\r\n<NOTE>a &amp; b &lt;c&gt; &#65;&#x42; &x; &</NOTE>\r\n"
           b"<LINELEVEL>\r\n<CHARGE1>10</CHARGE1>\r\n<UNITS1>1</UNITS1>\r\n<CHARGE2>20</CHARGE2>\r\n"
           b"</LINELEVEL>\r\n<TOTAL>30</TOTAL>\r\n</CLAIM>\r\n<CLAIM><CLAIMID>C2</CLAIMID></CLAIM>\r\n"
           b"</EXPORTDATA>\r\n")

CSV_DOC = b"C1,NOTE ONE,K,10,1,10\r\nC2,,K2,20,2,20\r\n\r\nC3,a,b,c,d,e,f,g\r\nC4"


def dbf(fields, records, deleted=()):
    """A dBASE III table: fields are (name, type, length, decimals)."""
    descriptors = b""
    offset = 1
    for name, kind, length, decimals in fields:
        d = bytearray(32)
        d[0:len(name)] = name
        d[11] = ord(kind)
        struct.pack_into("<I", d, 12, offset)
        d[16] = length & 0xFF
        d[17] = (length >> 8) if kind == "C" else decimals
        descriptors += bytes(d)
        offset += length
    header = bytearray(32)
    header[0:4] = bytes([3, 126, 1, 15])
    struct.pack_into("<IHH", header, 4, len(records), 32 + len(descriptors) + 1, offset)
    body = b""
    for i, record in enumerate(records):
        body += b"*" if i in deleted else b" "
        body += b"".join(v.ljust(f[2])[:f[2]] for v, f in zip(record, fields))
    return bytes(header) + descriptors + b"\r" + body + b"\x1a"


NTX_PAGE = 1024


def ntx(expression, key_length, pages):
    """A Clipper index: pages are (items, right child) at 1024, 2048, ...;
    items are (child, record number, key); the root is the first page."""
    item_size = key_length + 8
    max_items = ((NTX_PAGE - 2) // (item_size + 2) - 1) & ~1
    header = bytearray(NTX_PAGE)
    struct.pack_into("<HHIIHHHHH", header, 0, 6, 1, NTX_PAGE, 0, item_size, key_length, 0, max_items,
                     max_items // 2)
    header[22:22 + len(expression)] = expression
    image = bytes(header)
    first = 2 + 2 * (max_items + 1)
    for items, right in pages:
        page = bytearray(NTX_PAGE)
        struct.pack_into("<H", page, 0, len(items))
        for i in range(max_items + 1):
            struct.pack_into("<H", page, 2 + 2 * i, first + i * item_size)
        for i, (child, recno, key) in enumerate(items):
            at = first + i * item_size
            struct.pack_into("<II", page, at, child, recno)
            page[at + 8:at + 8 + key_length] = key.ljust(key_length)
        struct.pack_into("<I", page, first + len(items) * item_size, right)
        image += bytes(page)
    return image


CDX_NODE = 512
NONE = 0xFFFFFFFF


def bits_for(value):
    bits = 1
    while bits < 63 and (value >> bits) != 0:
        bits += 1
    return bits


def cdx_leaf(keys, recnos, key_length, attributes, left=NONE, right=NONE):
    """A compressed leaf: info words from byte 24, key texts from the end."""
    node = bytearray(CDX_NODE)
    struct.pack_into("<HHII", node, 0, attributes, len(keys), left, right)
    count_bits = bits_for(key_length)
    rec_bits = bits_for(max([1] + recnos))
    size = max(3, (rec_bits + 2 * count_bits + 7) // 8)
    rec_bits = min(size * 8 - 2 * count_bits, 32)
    used, key_end, previous = 0, CDX_NODE, None
    for i, (key, recno) in enumerate(zip(keys, recnos)):
        key = key.ljust(key_length)
        trail = key_length - len(key.rstrip(b" "))
        dup = 0
        while previous is not None and dup < key_length and previous[dup] == key[dup]:
            dup += 1
        dup = min(dup, key_length - trail)
        stored = key_length - dup - trail
        used += size + stored
        key_end -= stored
        node[key_end:key_end + stored] = key[dup:dup + stored]
        info = recno | (dup << rec_bits) | (trail << (rec_bits + count_bits))
        node[24 + i * size:24 + (i + 1) * size] = info.to_bytes(8, "little")[:size]
        previous = key
    struct.pack_into("<HI", node, 12, CDX_NODE - 24 - used, NONE if rec_bits >= 32 else (1 << rec_bits) - 1)
    node[18] = node[19] = (1 << count_bits) - 1
    node[20:24] = bytes([rec_bits, count_bits, count_bits, size])
    return bytes(node)


def cdx_interior(entries, key_length, attributes=1):
    """entries are (key, record number, child offset): the child's highest key."""
    node = bytearray(CDX_NODE)
    struct.pack_into("<HHII", node, 0, attributes, len(entries), NONE, NONE)
    for i, (key, recno, child) in enumerate(entries):
        at = 12 + i * (key_length + 8)
        node[at:at + key_length] = key.ljust(key_length)
        struct.pack_into(">II", node, at + key_length, recno, child)
    return bytes(node)


def cdx_header(root, key_length, options, expression):
    header = bytearray(1024)
    struct.pack_into("<IIxxxxHBB", header, 0, root, 0, key_length, options, 1)
    struct.pack_into("<H", header, 506, 1)
    struct.pack_into("<H", header, 510, len(expression) + 1)
    header[512:512 + len(expression)] = expression
    return bytes(header)


def cdx(tags):
    """A compound index: tags are (name, expression, key length, leaves), each
    leaf a list of (key, record number); two or more leaves get an interior root."""
    tags = sorted(tags)
    image = bytearray(cdx_header(1024, 10, 0xE0, b"") + bytes(CDX_NODE))
    headers = []
    for name, expression, key_length, leaves in tags:
        at = len(image)
        headers.append(at)
        image += cdx_header(at + 1024, key_length, 0x60, expression)
        if len(leaves) < 2:
            keys = leaves[0] if leaves else []
            image += cdx_leaf([k for k, _ in keys], [r for _, r in keys], key_length, 3)
            continue
        root = len(image)
        image += bytes(CDX_NODE)
        offsets = [root + CDX_NODE * (i + 1) for i in range(len(leaves))]
        for i, keys in enumerate(leaves):
            image += cdx_leaf([k for k, _ in keys], [r for _, r in keys], key_length, 2,
                              offsets[i - 1] if i > 0 else NONE, offsets[i + 1] if i + 1 < len(leaves) else NONE)
        image[root:root + CDX_NODE] = cdx_interior(
            [(keys[-1][0], keys[-1][1], offsets[i]) for i, keys in enumerate(leaves)], key_length)
    names = [t[0].ljust(10) for t in tags]
    image[1024:1024 + CDX_NODE] = cdx_leaf(names, headers, 10, 3)
    return bytes(image)


def seeds():
    example = (SRC / "examples" / "837p-sample.x12").read_bytes()
    yield "map_loader", {
        "parse.cfg": PARSE_MAP,
        "generate.cfg": GEN_MAP,
        "lower_case.cfg": b"field=Name,10,NM1\r\nkeyfield=clm\r\nKEYHEADERFIELD=HL,,20,\r\n",
        "lf_only.cfg": b"FIELD=A,1,NM1\nFIELD=B,2,CLM\n",
        "wide.cfg": b"FIELD=" + b",".join(b"%d" % i for i in range(1, 35)) + b"\r\n"
                    b"SEGMENT=" + b",".join(b"S%d" % i for i in range(1, 40)) + b"\r\n",
        "expansion.cfg": b"KEYLINEFIELD=LX\r\nFIELD=H1,1,HL\r\nFIELD=S1,1,SV1,,,1,,H1,,0,1\r\n"
                         b"FIELD=T1,1,SV1,,,2,,S1,,0,01\r\nFIELD=X,1,SE\r\n",
    }
    yield "db_map", {
        "tables.map": b"TABLE=CLAIMS\r\n  driver=DBF\r\nDIRECTORY=data\r\nFIELD=CLAIMID\r\n"
                      b"KEYFIELD=CLAIMID\r\nField=Amount  \r\nTRANSACTIONTYPE=837\r\n"
                      b"USER=u\r\nPASSWORD=p\r\nOPTIONS=A,B\r\nDRIVE=c:\r\nNOTAKEY=1\r\n",
        "two.map": b"TABLE=A\r\nDSN=odbc1\r\nSERVER=srv\r\nTABLE=B\r\nDIRECTORY=dir\r\nDSN=odbc2",
    }
    yield "x12_fixed_map", {
        "example_xml": b"\x00" + example,
        "example_csv_header_sl": b"\x07" + example,
        "claims_ml_debug": b"\x18" + CLAIMS,
        "claims_merge_ds": b"\x61" + CLAIMS,
        "crlf": b"\x00" + CLAIMS.replace(b"~", b"~\r\n"),
        "no_isa": b"\x00" + b"GS*HC~ST*837~CLM*1~SE~",
        "odd_delimiters": b"\x01" + CLAIMS.replace(b"*", b"|").replace(b"~", b"\n"),
    }
    yield "x12_fuzzed_map", {
        "claims": b"\x00" + PARSE_MAP + DIV + CLAIMS,
        "claims_sl": b"\x87" + PARSE_MAP + b"KEYTRAILERFIELD=SE\r\n" + DIV + CLAIMS,
        "example": b"\x18" + PARSE_MAP + DIV + example,
        "empty_map": b"\x00" + DIV + CLAIMS,
    }
    yield "csv_input", {
        "fixed": b"\x00" + CSV_DOC,
        "fixed_debug": b"\x10" + CSV_DOC,
        "own_map": b"\x01" + GEN_MAP + DIV + CSV_DOC,
    }
    yield "xml_input", {
        "fixed": b"\x00" + XML_DOC,
        "fixed_ml": b"\x08" + XML_DOC,
        "own_map_ml_debug": b"\x19" + GEN_MAP + DIV + XML_DOC,
        "bare": b"\x08<CLAIM><LINELEVEL><CHARGE1>a</CHARGE1><UNITS1>b</UNITS1><CHARGE2>c</CHARGE2>"
                b"</LINELEVEL><LINELEVEL></LINELEVEL></CLAIM>",
    }
    claim_fields = [(b"CLAIMID", "C", 10, 0), (b"AMOUNT", "N", 10, 2), (b"DOS", "D", 8, 0),
                    (b"PAID", "L", 1, 0), (b"NOTE", "C", 300, 0)]
    yield "dbf_table", {
        "claims.dbf": dbf(claim_fields, [[b"C1", b"100.00", b"20260115", b"T", b"first"],
                                         [b"C2", b"-5", b"", b"F", b"x" * 300], [b"C3", b"", b"", b"", b""]],
                          deleted={1}),
        "empty.dbf": dbf([(b"KEY", "C", 20, 0)], []),
    }
    yield "ntx_index", {
        "empty.ntx": ntx(b"UPPER(CLAIMID)", 10, [([], 0)]),
        "two_levels.ntx": ntx(b"CLAIMID+DOS", 18, [
            ([(2048, 5, b"K5")], 3072),
            ([(0, i, b"K%d" % i) for i in range(1, 5)], 0),
            ([(0, i, b"K%d" % i) for i in range(6, 10)], 0)]),
    }
    yield "cdx_index", {
        "one_tag.cdx": cdx([(b"CLAIMID", b"UPPER(CLAIMID)", 10, [])]),
        "two_tags.cdx": cdx([
            (b"CLAIMID", b"CLAIMID", 10, [[(b"C%d" % i, i) for i in range(1, 6)],
                                          [(b"C%d" % i, i) for i in range(6, 10)]]),
            (b"NAME", b"ALLTRIM(NAME)+DOS", 30, [[(b"DOE  JOHN", 3), (b"DOE  JOHNNY", 1), (b"ROE", 2)]])]),
    }
    yield "field_functions", {
        "table": b"CSVTABLE tab.csv\r\n" + DIV + b"99213,OFFICE,VISIT\r\n\r\n8,EIGHT\r\n,ALL" + DIV + b"99213",
        "segment": b"csvtable=tab.csv\r\nRETURNSEGMENT\r\nCALLDLL X\r\n" + DIV + DIV + b"v",
        "empty_table": b"CSVTABLE tab.csv" + DIV + DIV + b"x",
    }
    # Byte 0: bit 0 MAP=m.cfg (else the map is detected), then OW, MF, CE, RPMN,
    # DS, DEBUG, MAPLOG. Byte 1: source name (bits 0-2) and type (bits 5-7).
    # A one-byte name 0-7 picks the source, a hard link, a symbolic link,
    # ./source, sub/../source, debug.log, qzmap.log or 837p_out.xml.
    yield "job_names", {
        "converted_ds": b"\x21\x00out.xml",
        "ce_onto_source": b"\x09\x01out.txt",
        "outfile_hard_link": b"\x21\x00out.xml" + DIV + b"\x01",
        "parselog_symlink": b"\x21\x00out.xml" + DIV + DIV + b"\x02",
        "rpmn_onto_source": b"\x30\x06out.xml",
        "debug_log_source": b"\x61\x02out.xml",
        "maplog_source": b"\xa1\x03out.xml",
        "overwrite_dotted_source": b"\x03\x00\x04",
        "merge_outfile": b"\x05\x00d.xml" + DIV + b"m.xml",
        "generation": b"\x21\x40out.x12" + DIV + b"\x00",
    }


def main():
    for target, files in seeds():
        folder = ROOT / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in files.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
