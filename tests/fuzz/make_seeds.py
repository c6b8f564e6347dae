#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from the examples and small
hand-made cases. Run it again after changing a seed; the files are kept in git."""
import os
import pathlib

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
