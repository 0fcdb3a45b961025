// Prints, for every sheet of a workbook, how Apache POI resolves the font of
// each first-row cell: "<sheet>\t<column>\t<bold>". POI reads BIFF8 only; for
// a BIFF5 workbook it prints "refused\t<message>".
import java.io.FileInputStream;
import org.apache.poi.hssf.OldExcelFormatException;
import org.apache.poi.hssf.usermodel.HSSFCellStyle;
import org.apache.poi.hssf.usermodel.HSSFRow;
import org.apache.poi.hssf.usermodel.HSSFSheet;
import org.apache.poi.hssf.usermodel.HSSFWorkbook;
import org.apache.poi.ss.usermodel.Cell;

public class PoiHeader {
    public static void main(String[] args) throws Exception {
        try (FileInputStream in = new FileInputStream(args[0]);
             HSSFWorkbook wb = new HSSFWorkbook(in)) {
            for (int s = 0; s < wb.getNumberOfSheets(); ++s) {
                HSSFSheet sheet = wb.getSheetAt(s);
                HSSFRow row = sheet.getRow(0);
                if (row == null)
                    continue;
                for (Cell c : row) {
                    HSSFCellStyle style = (HSSFCellStyle) c.getCellStyle();
                    System.out.println(sheet.getSheetName() + "\t" + c.getColumnIndex() + "\t"
                                       + style.getFont(wb).getBold());
                }
            }
        } catch (OldExcelFormatException e) {
            System.out.println("refused\t" + e.getMessage());
        }
    }
}
