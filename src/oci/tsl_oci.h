/* The Oracle Call Interface as this system uses it: scalar types, handle
 * types, constants and the prototypes of the functions the Oracle source
 * calls, with the values and signatures of Oracle's public OCI documentation
 * for 64-bit Linux (LP64: ub4 and sb4 are 32 bits, size_t is 64 bits).
 *
 * Nothing in the product links against an OCI library. The Oracle source
 * loads one at run time (the Oracle client, or the embedded SQLite provider
 * libtsl_ocilite.so, which exports the same functions) and fills a table of
 * the pointer types declared at the end of this file. The prototypes are
 * declared for the provider, which defines them, and for tests that link it.
 *
 * Usable from C and C++. Define TSL_OCI_NO_TEXT_TYPEDEF before including it
 * when the traditional `text` type name clashes with other code.
 */
#ifndef TSL_OCI_H
#define TSL_OCI_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Scalar types ------------------------------------------------------ */

typedef signed char sb1;
typedef unsigned char ub1;
typedef short sb2;
typedef unsigned short ub2;
typedef int sb4;
typedef unsigned int ub4;
typedef int sword;
typedef unsigned int uword;
typedef unsigned char OraText;
typedef OraText oratext;
#ifndef TSL_OCI_NO_TEXT_TYPEDEF
typedef unsigned char text;
#endif
typedef void dvoid;

/* ---- Handles and descriptors (opaque) ---------------------------------- */

typedef struct OCIEnv OCIEnv;
typedef struct OCIError OCIError;
typedef struct OCIServer OCIServer;
typedef struct OCISvcCtx OCISvcCtx;
typedef struct OCISession OCISession;
typedef struct OCIStmt OCIStmt;
typedef struct OCIDefine OCIDefine;
typedef struct OCIBind OCIBind;
typedef struct OCIDescribe OCIDescribe;
typedef struct OCIParam OCIParam;
typedef struct OCILobLocator OCILobLocator;
typedef struct OCISnapshot OCISnapshot;

/* ---- Function return codes --------------------------------------------- */

#define OCI_SUCCESS 0
#define OCI_SUCCESS_WITH_INFO 1
#define OCI_NEED_DATA 99
#define OCI_NO_DATA 100
#define OCI_ERROR (-1)
#define OCI_INVALID_HANDLE (-2)
#define OCI_STILL_EXECUTING (-3123)
#define OCI_CONTINUE (-24200)

/* ---- Modes ------------------------------------------------------------- */

#define OCI_DEFAULT 0x00000000
#define OCI_THREADED 0x00000001
#define OCI_OBJECT 0x00000002
#define OCI_UTF16 0x00004000 /* every text exchanged is UTF-16, lengths in bytes */

/* OCIStmtExecute modes */
#define OCI_BATCH_MODE 0x00000001
#define OCI_EXACT_FETCH 0x00000002
#define OCI_DESCRIBE_ONLY 0x00000010
#define OCI_COMMIT_ON_SUCCESS 0x00000020
#define OCI_PARSE_ONLY 0x00000100

/* OCIStmtPrepare syntax */
#define OCI_NTV_SYNTAX 1
#define OCI_V7_SYNTAX 2
#define OCI_V8_SYNTAX 3

/* OCIStmtFetch orientation */
#define OCI_FETCH_CURRENT 0x01
#define OCI_FETCH_NEXT 0x02

/* Statement types (OCI_ATTR_STMT_TYPE) */
#define OCI_STMT_SELECT 1
#define OCI_STMT_UPDATE 2
#define OCI_STMT_DELETE 3
#define OCI_STMT_INSERT 4
#define OCI_STMT_CREATE 5
#define OCI_STMT_DROP 6
#define OCI_STMT_ALTER 7
#define OCI_STMT_BEGIN 8
#define OCI_STMT_DECLARE 9

/* LOB piece flags (callback reads) */
#define OCI_ONE_PIECE 0
#define OCI_FIRST_PIECE 1
#define OCI_NEXT_PIECE 2
#define OCI_LAST_PIECE 3

/* ---- Handle types ------------------------------------------------------ */

#define OCI_HTYPE_ENV 1
#define OCI_HTYPE_ERROR 2
#define OCI_HTYPE_SVCCTX 3
#define OCI_HTYPE_STMT 4
#define OCI_HTYPE_BIND 5
#define OCI_HTYPE_DEFINE 6
#define OCI_HTYPE_DESCRIBE 7
#define OCI_HTYPE_SERVER 8
#define OCI_HTYPE_SESSION 9

/* ---- Descriptor types -------------------------------------------------- */

#define OCI_DTYPE_LOB 50
#define OCI_DTYPE_SNAP 51
#define OCI_DTYPE_PARAM 53
#define OCI_DTYPE_ROWID 54
#define OCI_DTYPE_FILE 56

/* ---- Attributes -------------------------------------------------------- */

/* on a parameter (select-list column) */
#define OCI_ATTR_DATA_SIZE 1 /* ub2, maximum size in bytes */
#define OCI_ATTR_DATA_TYPE 2 /* ub2, type code (SQLT_*) */
#define OCI_ATTR_DISP_SIZE 3 /* ub2 */
#define OCI_ATTR_NAME 4      /* OraText*, with its length in bytes */
#define OCI_ATTR_PRECISION 5 /* sb2 for a select-list column */
#define OCI_ATTR_SCALE 6     /* sb1 */
#define OCI_ATTR_IS_NULL 7   /* ub1, 1 when the column accepts NULL */
#define OCI_ATTR_TYPE_NAME 8
#define OCI_ATTR_SCHEMA_NAME 9
#define OCI_ATTR_CHARSET_ID 31   /* ub2 */
#define OCI_ATTR_CHARSET_FORM 32 /* ub1, SQLCS_* */
#define OCI_ATTR_CHAR_USED 285   /* ub1 */
#define OCI_ATTR_CHAR_SIZE 286   /* ub2, size in characters */

/* on handles */
#define OCI_ATTR_SERVER 6           /* service context: its server handle */
#define OCI_ATTR_SESSION 7          /* service context: its session handle */
#define OCI_ATTR_ROW_COUNT 9        /* statement: ub4, rows fetched or changed */
#define OCI_ATTR_PREFETCH_ROWS 11   /* statement: ub4, rows fetched ahead per round trip */
#define OCI_ATTR_PREFETCH_MEMORY 13 /* statement: ub4, bytes fetched ahead at most (0: no bound) \
                                     */
#define OCI_ATTR_PARAM_COUNT 18     /* statement: ub4, select-list columns */
#define OCI_ATTR_USERNAME 22
#define OCI_ATTR_PASSWORD 23
#define OCI_ATTR_STMT_TYPE 24     /* statement: ub2, OCI_STMT_* */
#define OCI_ATTR_ROWS_FETCHED 197 /* statement: ub4, rows of the last fetch */
/* The embedded provider's own (not Oracle's): on a service context, the
   round trips to the server that the real client would have made for this
   logon so far (ub4); on an environment, those of all its logons. */
#define TSL_OCI_ATTR_ROUNDTRIPS 32001

/* ---- Data type codes --------------------------------------------------- */

#define SQLT_CHR 1 /* VARCHAR2 (describe) / character string without terminator */
#define SQLT_NUM 2 /* NUMBER */
#define SQLT_INT 3 /* signed integer */
#define SQLT_FLT 4 /* floating point */
#define SQLT_STR 5 /* zero-terminated string */
#define SQLT_VNU 6
#define SQLT_PDN 7
#define SQLT_LNG 8 /* LONG */
#define SQLT_VCS 9
#define SQLT_RID 11 /* ROWID */
#define SQLT_DAT 12 /* DATE, 7-byte internal layout */
#define SQLT_VBI 15
#define SQLT_BFLOAT 21
#define SQLT_BDOUBLE 22
#define SQLT_BIN 23 /* RAW */
#define SQLT_LBI 24 /* LONG RAW */
#define SQLT_UIN 68 /* unsigned integer */
#define SQLT_LVC 94
#define SQLT_LVB 95
#define SQLT_AFC 96 /* CHAR (blank padded) */
#define SQLT_AVC 97
#define SQLT_IBFLOAT 100  /* BINARY_FLOAT */
#define SQLT_IBDOUBLE 101 /* BINARY_DOUBLE */
#define SQLT_CUR 102
#define SQLT_RDD 104 /* ROWID descriptor; the describe code of ROWID columns */
#define SQLT_LAB 105
#define SQLT_NTY 108
#define SQLT_REF 110
#define SQLT_CLOB 112 /* CLOB and NCLOB */
#define SQLT_BLOB 113
#define SQLT_BFILEE 114 /* BFILE */
#define SQLT_CFILEE 115
#define SQLT_RSET 116
#define SQLT_NCO 122
#define SQLT_ODT 156
#define SQLT_DATE 184
#define SQLT_TIME 185
#define SQLT_TIME_TZ 186
#define SQLT_TIMESTAMP 187 /* the describe code of TIMESTAMP columns */
#define SQLT_TIMESTAMP_TZ 188
#define SQLT_INTERVAL_YM 189
#define SQLT_INTERVAL_DS 190
#define SQLT_TIMESTAMP_LTZ 232

#define SQLT_FILE SQLT_BFILEE
#define SQLT_CFILE SQLT_CFILEE
#define SQLT_BFILE SQLT_BFILEE

/* Storage type codes of the datetime family, as the server's DUMP() shows
 * them. They are not select-list describe codes (those are the SQLT_ values
 * above) but a reader may meet them in older or foreign material; these
 * names are this header's own, not Oracle's. */
#define TSL_OCI_STORED_TIMESTAMP 180
#define TSL_OCI_STORED_TIMESTAMP_TZ 181
#define TSL_OCI_STORED_INTERVAL_YM 182
#define TSL_OCI_STORED_INTERVAL_DS 183
#define TSL_OCI_STORED_TIMESTAMP_LTZ 231

/* ---- Character set forms and ids --------------------------------------- */

#define SQLCS_IMPLICIT 1 /* database character set */
#define SQLCS_NCHAR 2    /* national character set */
#define SQLCS_EXPLICIT 3
#define SQLCS_FLEXIBLE 4
#define SQLCS_LIT_NULL 5

#define OCI_UTF16ID 1000      /* UTF-16 in the client's byte order */
#define TSL_OCI_CSID_UTF8 871 /* UTF8 */
#define TSL_OCI_CSID_AL32UTF8 873
#define TSL_OCI_CSID_AL16UTF16 2000

/* ---- Null indicators --------------------------------------------------- */

#define OCI_IND_NOTNULL 0
#define OCI_IND_NULL (-1)

/* ---- Callback types ---------------------------------------------------- */

typedef sb4 (*OCICallbackLobRead)(void* ctxp, const void* bufp, ub4 len, ub1 piece);

/* ---- Functions --------------------------------------------------------- */

sword OCIEnvCreate(OCIEnv** envp, ub4 mode, void* ctxp, void* (*malocfp)(void* ctxp, size_t size),
                   void* (*ralocfp)(void* ctxp, void* memptr, size_t newsize),
                   void (*mfreefp)(void* ctxp, void* memptr), size_t xtramem_sz, void** usrmempp);
sword OCIHandleAlloc(const void* parenth, void** hndlpp, const ub4 type, const size_t xtramem_sz,
                     void** usrmempp);
sword OCIHandleFree(void* hndlp, const ub4 type);
sword OCIDescriptorAlloc(const void* parenth, void** descpp, const ub4 type,
                         const size_t xtramem_sz, void** usrmempp);
sword OCIDescriptorFree(void* descp, const ub4 type);
sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len,
                      ub4 mode);
sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 mode);
sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                 OCIError* errhp);
sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep, ub4 attrtype,
                 OCIError* errhp);
sword OCILogon(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp, const OraText* username,
               ub4 uname_len, const OraText* password, ub4 passwd_len, const OraText* dbname,
               ub4 dbname_len);
sword OCILogoff(OCISvcCtx* svchp, OCIError* errhp);
sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp,
                  ub4 bufsiz, ub4 type);
sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len,
                     ub4 language, ub4 mode);
sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot* snap_in, OCISnapshot* snap_out, ub4 mode);
sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 mode);
sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos);
sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnpp, OCIError* errhp, ub4 position,
                     void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep,
                     ub4 mode);
sword OCILobRead(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset,
                 void* bufp, ub4 bufl, void* ctxp, OCICallbackLobRead cbfp, ub2 csid, ub1 csfrm);
sword OCILobCharSetForm(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp, ub1* csfrm);
sword OCIBreak(void* hndlp, OCIError* errhp);
sword OCIReset(void* hndlp, OCIError* errhp);

/* ---- Pointer types for a table filled with dlsym ------------------------ */

typedef sword (*OCIEnvCreate_fn)(OCIEnv**, ub4, void*, void* (*)(void*, size_t),
                                 void* (*)(void*, void*, size_t), void (*)(void*, void*), size_t,
                                 void**);
typedef sword (*OCIHandleAlloc_fn)(const void*, void**, const ub4, const size_t, void**);
typedef sword (*OCIHandleFree_fn)(void*, const ub4);
typedef sword (*OCIDescriptorAlloc_fn)(const void*, void**, const ub4, const size_t, void**);
typedef sword (*OCIDescriptorFree_fn)(void*, const ub4);
typedef sword (*OCIServerAttach_fn)(OCIServer*, OCIError*, const OraText*, sb4, ub4);
typedef sword (*OCIServerDetach_fn)(OCIServer*, OCIError*, ub4);
typedef sword (*OCIAttrSet_fn)(void*, ub4, void*, ub4, ub4, OCIError*);
typedef sword (*OCIAttrGet_fn)(const void*, ub4, void*, ub4*, ub4, OCIError*);
typedef sword (*OCILogon_fn)(OCIEnv*, OCIError*, OCISvcCtx**, const OraText*, ub4, const OraText*,
                             ub4, const OraText*, ub4);
typedef sword (*OCILogoff_fn)(OCISvcCtx*, OCIError*);
typedef sword (*OCIErrorGet_fn)(void*, ub4, OraText*, sb4*, OraText*, ub4, ub4);
typedef sword (*OCIStmtPrepare_fn)(OCIStmt*, OCIError*, const OraText*, ub4, ub4, ub4);
typedef sword (*OCIStmtExecute_fn)(OCISvcCtx*, OCIStmt*, OCIError*, ub4, ub4, const OCISnapshot*,
                                   OCISnapshot*, ub4);
typedef sword (*OCIStmtFetch_fn)(OCIStmt*, OCIError*, ub4, ub2, ub4);
typedef sword (*OCIParamGet_fn)(const void*, ub4, OCIError*, void**, ub4);
typedef sword (*OCIDefineByPos_fn)(OCIStmt*, OCIDefine**, OCIError*, ub4, void*, sb4, ub2, void*,
                                   ub2*, ub2*, ub4);
typedef sword (*OCILobRead_fn)(OCISvcCtx*, OCIError*, OCILobLocator*, ub4*, ub4, void*, ub4, void*,
                               OCICallbackLobRead, ub2, ub1);
typedef sword (*OCILobCharSetForm_fn)(OCIEnv*, OCIError*, const OCILobLocator*, ub1*);
typedef sword (*OCIBreak_fn)(void*, OCIError*);
typedef sword (*OCIReset_fn)(void*, OCIError*);

/* Every function above, for building the table: X(name) is expanded once per
 * function, e.g. `#define X(f) f##_fn f;` declares one member per pointer. */
#define TSL_OCI_FUNCTIONS(X) \
    X(OCIEnvCreate)          \
    X(OCIHandleAlloc)        \
    X(OCIHandleFree)         \
    X(OCIDescriptorAlloc)    \
    X(OCIDescriptorFree)     \
    X(OCIServerAttach)       \
    X(OCIServerDetach)       \
    X(OCIAttrSet)            \
    X(OCIAttrGet)            \
    X(OCILogon)              \
    X(OCILogoff)             \
    X(OCIErrorGet)           \
    X(OCIStmtPrepare)        \
    X(OCIStmtExecute)        \
    X(OCIStmtFetch)          \
    X(OCIParamGet)           \
    X(OCIDefineByPos)        \
    X(OCILobRead)            \
    X(OCILobCharSetForm)     \
    X(OCIBreak)              \
    X(OCIReset)

#ifdef __cplusplus
}
#endif

#endif /* TSL_OCI_H */
