<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>Tovik</name>
    <message>
        <source>Input Files@Output Files@</source>
        <translation>輸入檔案@輸出檔案@</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>進度</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>狀態</translation>
    </message>
    <message>
        <source>No Subpicture</source>
        <translation>無字幕</translation>
    </message>
    <message>
        <source>Subpicture [%d]</source>
        <translation>字幕 [%d]</translation>
    </message>
    <message>
        <source>Audio Stream [%x]</source>
        <translation>音頻流 [%x]</translation>
    </message>
    <message>
        <source>Language [%d]</source>
        <translation>語言 [%d]</translation>
    </message>
    <message>
        <source>Angle [%d]</source>
        <translation>角度 [%d]</translation>
    </message>
    <message>
        <source>Output From %s to %s</source>
        <translation>從 %s 輸出到 %s</translation>
    </message>
    <message>
        <source>Failure to output!</source>
        <translation>輸出失敗！</translation>
    </message>
    <message>
        <source>Success to output!</source>
        <translation>輸出成功！</translation>
    </message>
    <message>
        <source>System is processing , please wait for a little... ...!</source>
        <translation>系統正在處理，請稍候……</translation>
    </message>
    <message>
        <source>Succeded ,but NOT finished to output!</source>
        <translation>輸出成功，但沒有完成！</translation>
    </message>
    <message>
        <source>System is int process of quiting , please wait for a little... ...!</source>
        <translation>系統正在退出，請稍候……</translation>
    </message>
    <message>
        <source>Any Angle</source>
        <translation>任意角度</translation>
    </message>
    <message>
        <source>english.lcd</source>
        <translation>english.lcd</translation>
    </message>
    <message>
        <source>Please Select Output Path</source>
        <translation>請選擇輸出路徑</translation>
    </message>
    <message>
        <source>Fennick - DVD to MPEG-1</source>
        <translation>Fennick - DVD 轉 MPEG-1</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>預覽</translation>
    </message>
    <message>
        <source>Width</source>
        <translation>寬度</translation>
    </message>
    <message>
        <source>Height</source>
        <translation>高度</translation>
    </message>
    <message>
        <source>Primal Image Size</source>
        <translation>原始圖像大小</translation>
    </message>
    <message>
        <source>Frame Rate</source>
        <translation>幀率</translation>
    </message>
    <message>
        <source>Layer</source>
        <translation>層</translation>
    </message>
    <message>
        <source>BitRate</source>
        <translation>碼率</translation>
    </message>
    <message>
        <source>Data rate</source>
        <translation>數據率</translation>
    </message>
    <message>
        <source>MPEG file with VCD format</source>
        <translation>VCD 格式的 MPEG 文件</translation>
    </message>
    <message>
        <source>Shutdown when completed</source>
        <translation>完成後關機</translation>
    </message>
    <message>
        <source>Subpic</source>
        <translation>字幕</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>語言</translation>
    </message>
    <message>
        <source>Angle</source>
        <translation>角度</translation>
    </message>
    <message>
        <source>Sub Picture</source>
        <translation>字幕</translation>
    </message>
    <message>
        <source>Layer I</source>
        <translation>第一層</translation>
    </message>
    <message>
        <source>Layer II</source>
        <translation>第二層</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打開</translation>
    </message>
    <message>
        <source>Select  Output Path</source>
        <translation>選擇輸出路徑</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Stop playing</source>
        <translation>停止播放</translation>
    </message>
    <message>
        <source>Loop</source>
        <translation>循環</translation>
    </message>
    <message>
        <source>Select Start Point</source>
        <translation>選擇起點</translation>
    </message>
    <message>
        <source>Select End Point</source>
        <translation>選擇終點</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>輸出</translation>
    </message>
    <message>
        <source>Stop outputing</source>
        <translation>停止輸出</translation>
    </message>
    <message>
        <source>Delete selected item</source>
        <translation>刪除所選項</translation>
    </message>
    <message>
        <source>Delete all</source>
        <translation>全部刪除</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Control</source>
        <translation>控制(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>幫助(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>打開(&amp;O)</translation>
    </message>
    <message>
        <source>Select Output path</source>
        <translation>選擇輸出路徑</translation>
    </message>
    <message>
        <source>Delete selected item</source>
        <translation>刪除所選項</translation>
    </message>
    <message>
        <source>Delete all items</source>
        <translation>刪除所有項</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>退出(&amp;X)</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Stop play</source>
        <translation>停止播放</translation>
    </message>
    <message>
        <source>Loop</source>
        <translation>循環</translation>
    </message>
    <message>
        <source>Start point</source>
        <translation>起點</translation>
    </message>
    <message>
        <source>End point</source>
        <translation>終點</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>輸出</translation>
    </message>
    <message>
        <source>Stop output</source>
        <translation>停止輸出</translation>
    </message>
    <message>
        <source>Video Handle</source>
        <translation>視頻處理</translation>
    </message>
    <message>
        <source>About</source>
        <translation>關於</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Simplified Chinese</source>
        <translation>簡體中文</translation>
    </message>
    <message>
        <source>Traditional Chinese</source>
        <translation>繁體中文</translation>
    </message>
    <message>
        <source>Change Selected OutFilename</source>
        <translation>更改所選輸出文件名</translation>
    </message>
    <message>
        <source>Change Selected OutPath</source>
        <translation>更改所選輸出路徑</translation>
    </message>
    <message>
        <source>Video Handle</source>
        <translation>視頻處理</translation>
    </message>
    <message>
        <source>Fast Speed</source>
        <translation>快速</translation>
    </message>
    <message>
        <source>MMX Accelerator</source>
        <translation>MMX 加速</translation>
    </message>
    <message>
        <source>High Quality</source>
        <translation>高質量</translation>
    </message>
    <message>
        <source>Enable Smooth Zoom</source>
        <translation>啟用平滑縮放</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>確定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Notice:Only change Selected OutFilename</source>
        <translation>注意：只更改所選的輸出文件名</translation>
    </message>
    <message>
        <source>Please Input Filename(*.MPG]</source>
        <translation>請輸入文件名(*.MPG)</translation>
    </message>
    <message>
        <source>VOB File(*.VOB)@All Files(*)@</source>
        <translation>VOB 檔案(*.VOB)@所有檔案(*)@</translation>
    </message>
    <message>
        <source>Fennick %s: converts DVD and MPEG files to MPEG-1 and Video CD.</source>
        <translation>Fennick %s：把 DVD 和 MPEG 檔案轉換為 MPEG-1 和 VCD。</translation>
    </message>
    <message>
        <source>fennick: no display; use "fennick convert" or set DISPLAY</source>
        <translation>fennick：沒有顯示器；請使用 "fennick convert" 或設置 DISPLAY</translation>
    </message>
</context>
</TS>
