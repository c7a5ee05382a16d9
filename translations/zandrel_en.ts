<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja">
<context>
    <name>PcmDecode</name>
    <message>
        <source>FFmpegで開けません</source>
        <translation>FFmpeg cannot open it</translation>
    </message>
    <message>
        <source>音声の情報が読めません</source>
        <translation>Cannot read the audio information</translation>
    </message>
    <message>
        <source>音声のストリームがありません</source>
        <translation>No audio stream</translation>
    </message>
    <message>
        <source>デコーダを開けません</source>
        <translation>Cannot open the decoder</translation>
    </message>
    <message>
        <source>音声をデコードできません</source>
        <translation>Cannot decode the audio</translation>
    </message>
    <message>
        <source>音声の形式が分かりません</source>
        <translation>Unknown audio format</translation>
    </message>
    <message>
        <source>音声を変換できません</source>
        <translation>Cannot convert the audio</translation>
    </message>
    <message>
        <source>MIDIは音符のデータで、デコードする音声がありません</source>
        <translation>MIDI holds notes: there is no sound to decode</translation>
    </message>
    <message>
        <source>バンクはメンバーごとにデコードします（--members）</source>
        <translation>A bank is decoded member by member (--members)</translation>
    </message>
    <message>
        <source>FSB5のVorbisはセットアップヘッダーの再構築が必要です</source>
        <translation>FSB5 Vorbis needs its setup header rebuilt</translation>
    </message>
    <message>
        <source>DSP ADPCMの係数がバンクのヘッダーにあり、単独では開けません</source>
        <translation>DSP ADPCM keeps its coefficients in the bank&apos;s header: it cannot be opened alone</translation>
    </message>
    <message>
        <source>XboxのIMA ADPCM（1ブロック64サンプル）はFFmpegでは長さが変わります</source>
        <translation>Xbox IMA ADPCM (64 samples a block) would come out of FFmpeg at another length</translation>
    </message>
    <message>
        <source>XMAのデータにはコンテナがありません</source>
        <translation>XMA data without a container</translation>
    </message>
    <message>
        <source>Wwise Vorbisはコードブックの再構築が必要です</source>
        <translation>Wwise Vorbis needs its codebooks rebuilt</translation>
    </message>
    <message>
        <source>Wwise OpusはFFmpegで開けません</source>
        <translation>FFmpeg cannot open Wwise Opus</translation>
    </message>
    <message>
        <source>Wwise IMA ADPCMはFFmpegがMS ADPCMとして誤って読みます</source>
        <translation>FFmpeg would misread Wwise IMA ADPCM as Microsoft ADPCM</translation>
    </message>
    <message>
        <source>暗号化されています</source>
        <translation>Encrypted</translation>
    </message>
    <message>
        <source>出力ファイルがありません</source>
        <translation>There is no output file</translation>
    </message>
    <message>
        <source>同じ名前のファイルがあります</source>
        <translation>A file of that name is there already</translation>
    </message>
    <message>
        <source>キャンセルしました</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>コンテナのないコーデックのデータです</source>
        <translation>Codec data without a container</translation>
    </message>
</context>
<context>
    <name>Player</name>
    <message>
        <source>音声を出力する装置がありません。</source>
        <translation>There is no audio output device.</translation>
    </message>
    <message>
        <source>再生できません: </source>
        <translation>Cannot play: </translation>
    </message>
    <message>
        <source>再生が止まりました: </source>
        <translation>Playing stopped: </translation>
    </message>
    <message>
        <source>1秒たっても音が出ません: </source>
        <translation>No sound within a second: </translation>
    </message>
    <message>
        <source>音声の装置がこの形式を再生できません</source>
        <translation>The audio device cannot play this format</translation>
    </message>
    <message>
        <source>音声の装置が止まりました (%1)</source>
        <translation>The audio device stopped (%1)</translation>
    </message>
</context>
<context>
    <name>ResultsModel</name>
    <message>
        <source>入力ファイル</source>
        <translation>Input file</translation>
    </message>
    <message>
        <source>番号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>形式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>長さ</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>時間</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>周波数</source>
        <translation>Rate</translation>
    </message>
    <message>
        <source>チャンネル</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>出力ファイル</source>
        <translation>Output file</translation>
    </message>
    <message>
        <source>状態</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>書き出し済み</source>
        <translation>written</translation>
    </message>
    <message>
        <source>書き出しなし</source>
        <translation>not written</translation>
    </message>
    <message>
        <source>失敗: </source>
        <translation>failed: </translation>
    </message>
    <message>
        <source>（途中まで）</source>
        <extracomment>After the status of a stream whose file claims more than the input held.</extracomment>
        <translation> (cut short)</translation>
    </message>
    <message>
        <source>（メンバー%1個）</source>
        <extracomment>After the status of a bank: how many members it holds.</extracomment>
        <translation> (members: %1)</translation>
    </message>
    <message>
        <source>暗号化</source>
        <extracomment>A member of a bank whose data is encrypted.</extracomment>
        <translation>encrypted</translation>
    </message>
    <message>
        <source>種類</source>
        <extracomment>In Copy as CSV: whether a line is a stream or a member of a bank.</extracomment>
        <translation>Kind</translation>
    </message>
    <message>
        <source>名前</source>
        <extracomment>In Copy as CSV: the name a bank gives its member.</extracomment>
        <translation>Name</translation>
    </message>
    <message>
        <source>バンク</source>
        <extracomment>In Copy as CSV: the output of a member&apos;s bank.</extracomment>
        <translation>Bank</translation>
    </message>
</context>
<context>
    <name>ResultsView</name>
    <message>
        <source>絞り込み</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>フォルダを開く</source>
        <translation>Show in folder</translation>
    </message>
    <message>
        <source>CSVでコピー</source>
        <translation>Copy as CSV</translation>
    </message>
    <message>
        <source>別ウィンドウ</source>
        <translation>Own window</translation>
    </message>
    <message>
        <source>ストリームが選ばれていません。</source>
        <translation>No stream is selected.</translation>
    </message>
    <message>
        <source>このストリームには出力ファイルがありません。</source>
        <translation>This stream has no output file.</translation>
    </message>
    <message>
        <source>結果</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>再生位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>音量</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>WAVで書き出し…</source>
        <translation>Export as WAV…</translation>
    </message>
    <message>
        <source>選んだストリームとメンバーをWAVファイルにします</source>
        <translation>Decodes the selected streams and members into WAV files</translation>
    </message>
    <message>
        <source>WAVで書き出しています…</source>
        <translation>Exporting as WAV…</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>WAVファイルにできなかったもの（%1個）:</source>
        <extracomment>Before the list of the streams and members that Export as WAV could not write.</extracomment>
        <translation>Not exported as WAV (%1):</translation>
    </message>
    <message>
        <source>フォルダを開けるファイルマネージャがありません。
パスをクリップボードにコピーしました:
%1</source>
        <extracomment>%1 the output&apos;s path, copied to the clipboard.</extracomment>
        <translation>There is no file manager to open the folder.
The path has been copied to the clipboard:
%1</translation>
    </message>
    <message>
        <source>%1 / %2件を表示</source>
        <extracomment>The streams the filter shows: %1 of the %2 found.</extracomment>
        <translation>%1 of %2 shown</translation>
    </message>
</context>
<context>
    <name>StreamStrip</name>
    <message>
        <source>%1  オフセット 0x%2  %3バイト</source>
        <extracomment>The tooltip of a stream in the picture of the input: %1 its format, %2 its offset in hexadecimal, %3 its length in bytes.</extracomment>
        <translation>%1  offset 0x%2  %3 bytes</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>入出力</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>処理範囲</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>抽出の条件</source>
        <translation>Conditions</translation>
    </message>
    <message>
        <source>タグ</source>
        <translation>Tags</translation>
    </message>
    <message>
        <source>拡張</source>
        <translation>Extended</translation>
    </message>
    <message>
        <source>readme.txt</source>
        <extracomment>The file name of the user guide in this language, shown on the last tab.</extracomment>
        <translation>readme_en.txt</translation>
    </message>
    <message>
        <source>実行！</source>
        <translation>Execute!</translation>
    </message>
    <message>
        <source>指定されたファイルからMP3を抽出します</source>
        <translation>Extracts the MP3 streams from the given files</translation>
    </message>
    <message>
        <source>入力ファイルを選択できます</source>
        <translation>Choose the input files</translation>
    </message>
    <message>
        <source>CRCの計算をします</source>
        <translation>Computes the CRC</translation>
    </message>
    <message>
        <source>入力ファイル: </source>
        <translation>Input file: </translation>
    </message>
    <message>
        <source>出力ファイル: </source>
        <translation>Output file: </translation>
    </message>
    <message>
        <source>入力ファイルの先頭から末尾までを処理</source>
        <translation>Process the input file from start to end</translation>
    </message>
    <message>
        <source>範囲指定</source>
        <translation>Only from</translation>
    </message>
    <message>
        <source>% から</source>
        <translation>% to</translation>
    </message>
    <message>
        <source>% まで</source>
        <translation>%</translation>
    </message>
    <message>
        <source>mp3ファイルとみなす最低フレーム数: </source>
        <translation>Fewest frames of an MP3 stream: </translation>
    </message>
    <message>
        <source>mpegのバージョン、及びレイヤーの変更をファイル終端と解釈</source>
        <translation>A change of MPEG version or layer ends the stream</translation>
    </message>
    <message>
        <source>チャンネル数変更(mono, stereo, jstereoなど)をファイル終端と解釈</source>
        <translation>A change of channel mode (mono, stereo, joint stereo...) ends the stream</translation>
    </message>
    <message>
        <source>サンプル周波数変更をファイル終端と解釈</source>
        <translation>A change of sampling frequency ends the stream</translation>
    </message>
    <message>
        <source>CRC保護オプションの変更をファイル終端と解釈</source>
        <translation>A change of CRC protection ends the stream</translation>
    </message>
    <message>
        <source>ID3TAGの情報を、INIファイルから読み込む</source>
        <translation>Read the ID3 tag from an INI file</translation>
    </message>
    <message>
        <source>ID3v2Tagをコピーする</source>
        <translation>Copy the ID3v2 tag</translation>
    </message>
    <message>
        <source>ID3v1Tagをコピーする</source>
        <translation>Copy the ID3v1 tag</translation>
    </message>
    <message>
        <source>ログのクリア(&amp;C)</source>
        <translation>&amp;Clear the log</translation>
    </message>
    <message>
        <source>ログをすべてコピー(&amp;A)</source>
        <translation>Copy the whole log (&amp;A)</translation>
    </message>
    <message>
        <source>ログを保存(&amp;S)...</source>
        <translation>&amp;Save the log...</translation>
    </message>
    <message>
        <source>出力フォルダを開く(&amp;O)</source>
        <translation>&amp;Open the output folder</translation>
    </message>
    <message>
        <source>すべての形式を抽出</source>
        <translation>Extract every format</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>フォルダが探せませんでした</source>
        <translation>The folder could not be found</translation>
    </message>
    <message>
        <source>* %1 が読めないよ (´･ω･`)</source>
        <extracomment>%1 the file name of the user guide.</extracomment>
        <translation>* cannot read %1 (T-T)</translation>
    </message>
    <message>
        <source>%1個のファイル</source>
        <translation>%1 files</translation>
    </message>
    <message>
        <source>%1 (%2個のファイル)</source>
        <translation>%1 (%2 files)</translation>
    </message>
    <message>
        <source>ほか%1個</source>
        <extracomment>%1 how many more files the input list holds.</extracomment>
        <translation>and %1 more</translation>
    </message>
    <message>
        <source>読み込めないフォルダを飛ばしました(%1)</source>
        <extracomment>%1 the folder that could not be read.</extracomment>
        <translation>Skipped a folder that cannot be read (%1)</translation>
    </message>
    <message>
        <source>結果</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>入力フォルダを選択できます(中のファイルをすべて入力にします)</source>
        <translation>Choose an input folder (every file in it becomes an input)</translation>
    </message>
    <message>
        <source>実行！で抽出する形式を選べます</source>
        <translation>Choose the formats that Execute! extracts</translation>
    </message>
    <message>
        <source>すべて</source>
        <translation>All</translation>
    </message>
    <message>
        <source>見つかったストリームの位置です</source>
        <translation>Where the streams found are</translation>
    </message>
    <message>
        <source>出力フォルダを選択できます</source>
        <translation>Choose the output folder</translation>
    </message>
    <message>
        <source>%1形式</source>
        <extracomment>%1 how many formats are ticked.</extracomment>
        <translation>%1 formats</translation>
    </message>
    <message>
        <source>キャンセルしました</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>終了しました</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>実行！で抽出する形式</source>
        <translation>Formats Execute carves</translation>
    </message>
    <message>
        <source>すべての形式の抽出でも従来の規則を使う</source>
        <translation>Classic rules for All</translation>
    </message>
    <message>
        <source>選択した行をコピー(&amp;P)</source>
        <translation>Co&amp;py chosen lines</translation>
    </message>
    <message>
        <source>出力ファイルのハッシュ:</source>
        <extracomment>Before the check boxes of the digests (MD5, SHA-1, SHA-256) of every output.</extracomment>
        <translation>Hashes of the outputs:</translation>
    </message>
</context>
<context>
    <name>UiSeam</name>
    <message>
        <source>エラー</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>この実行の残りにも同じ答えを使う</source>
        <translation>Give the same answer for the rest of this run</translation>
    </message>
</context>
<context>
    <name>cancel</name>
    <message>
        <source>Not Found (T-T)</source>
        <extracomment>%1 the kind of stream (mp3, ogg, ...), in a pass the user cancelled.</extracomment>
        <translation>%1: nothing found before the cancel</translation>
    </message>
</context>
<context>
    <name>cli</name>
    <message>
        <source>--range の下限(%1)が上限(%2)以上なので、調べる範囲がありません</source>
        <extracomment>%1 LOWER, %2 UPPER of --range.</extracomment>
        <translation>--range: LOWER (%1) is not below UPPER (%2), which leaves nothing to scan</translation>
    </message>
</context>
<context>
    <name>crc</name>
    <message>
        <source>CRCの計算中...(%1%)</source>
        <extracomment>%1 the share of the file read, in percent (&quot; 5.0&quot;).</extracomment>
        <translation>Computing the CRC...(%1%)</translation>
    </message>
</context>
<context>
    <name>errno</name>
    <message>
        <source>読み取り専用のファイルシステムです</source>
        <translation>Read-only file system</translation>
    </message>
    <message>
        <source>アクセス権がありません</source>
        <translation>Permission denied</translation>
    </message>
    <message>
        <source>ディスクに空きがありません</source>
        <translation>No space left on device</translation>
    </message>
    <message>
        <source>そのようなファイルやフォルダはありません</source>
        <translation>No such file or directory</translation>
    </message>
    <message>
        <source>フォルダではありません</source>
        <translation>Not a directory</translation>
    </message>
    <message>
        <source>同じ名前のファイルがあります</source>
        <translation>File exists</translation>
    </message>
</context>
<context>
    <name>formats</name>
    <message>
        <source>からMP3ファイルを探しますっ！</source>
        <translation>for MP3 files!</translation>
    </message>
    <message>
        <source>からOggファイルを探しますっ！</source>
        <translation>for Ogg files!</translation>
    </message>
    <message>
        <source>OggVorbisを抽出(α版)</source>
        <translation>Extract Ogg Vorbis (streams of four pages or more)</translation>
    </message>
    <message>
        <source>からWavファイルを探しますっ！</source>
        <translation>for WAV files!</translation>
    </message>
    <message>
        <source>Riff WAVを抽出(適当)</source>
        <translation>Extract RIFF WAVE (files whose fmt chunk comes first)</translation>
    </message>
    <message>
        <source>からMPEG Layer I/IIファイルを探しますっ！</source>
        <translation>for MPEG Layer I/II files!</translation>
    </message>
    <message>
        <source>MPEG Layer I/IIを抽出</source>
        <translation>Extract MPEG Layer I/II</translation>
    </message>
    <message>
        <source>からAACファイルを探しますっ！</source>
        <translation>for AAC files!</translation>
    </message>
    <message>
        <source>AAC (ADTS)を抽出</source>
        <translation>Extract AAC (ADTS)</translation>
    </message>
    <message>
        <source>からFLACファイルを探しますっ！</source>
        <translation>for FLAC files!</translation>
    </message>
    <message>
        <source>FLACを抽出</source>
        <translation>Extract FLAC</translation>
    </message>
    <message>
        <source>からAIFFファイルを探しますっ！</source>
        <translation>for AIFF files!</translation>
    </message>
    <message>
        <source>AIFFを抽出</source>
        <translation>Extract AIFF</translation>
    </message>
    <message>
        <source>からADXファイルを探しますっ！</source>
        <translation>for ADX files!</translation>
    </message>
    <message>
        <source>ADXを抽出</source>
        <translation>Extract ADX</translation>
    </message>
    <message>
        <source>からWwiseサウンドバンクを探しますっ！</source>
        <translation>for Wwise soundbanks!</translation>
    </message>
    <message>
        <source>Wwiseサウンドバンクを抽出</source>
        <translation>Extract Wwise soundbanks</translation>
    </message>
    <message>
        <source>からBRSTMファイルを探しますっ！</source>
        <translation>for BRSTM files!</translation>
    </message>
    <message>
        <source>BRSTMを抽出</source>
        <translation>Extract BRSTM</translation>
    </message>
    <message>
        <source>からBCSTMファイルを探しますっ！</source>
        <translation>for BCSTM files!</translation>
    </message>
    <message>
        <source>BCSTMを抽出</source>
        <translation>Extract BCSTM</translation>
    </message>
    <message>
        <source>からBFSTMファイルを探しますっ！</source>
        <translation>for BFSTM files!</translation>
    </message>
    <message>
        <source>BFSTMを抽出</source>
        <translation>Extract BFSTM</translation>
    </message>
    <message>
        <source>からMIDIファイルを探しますっ！</source>
        <translation>for MIDI files!</translation>
    </message>
    <message>
        <source>MIDIを抽出</source>
        <translation>Extract MIDI</translation>
    </message>
    <message>
        <source>からRIFF MIDIファイルを探しますっ！</source>
        <translation>for RIFF MIDI files!</translation>
    </message>
    <message>
        <source>RIFF MIDIを抽出</source>
        <translation>Extract RIFF MIDI</translation>
    </message>
    <message>
        <source>からFSBファイルを探しますっ！</source>
        <translation>for FSB files!</translation>
    </message>
    <message>
        <source>FSBを抽出</source>
        <translation>Extract FSB</translation>
    </message>
    <message>
        <source>からAWBファイルを探しますっ！</source>
        <translation>for AWB files!</translation>
    </message>
    <message>
        <source>AWBを抽出</source>
        <translation>Extract AWB</translation>
    </message>
    <message>
        <source>からHCAファイルを探しますっ！</source>
        <translation>for HCA files!</translation>
    </message>
    <message>
        <source>HCAを抽出</source>
        <translation>Extract HCA</translation>
    </message>
    <message>
        <source>からWwiseパッケージを探しますっ！</source>
        <translation>for Wwise packages!</translation>
    </message>
    <message>
        <source>Wwiseパッケージを抽出</source>
        <translation>Extract Wwise packages</translation>
    </message>
    <message>
        <source>からXWBファイルを探しますっ！</source>
        <translation>for XWB files!</translation>
    </message>
    <message>
        <source>XWBを抽出</source>
        <translation>Extract XWB</translation>
    </message>
</context>
<context>
    <name>producer</name>
    <message>
        <source>出力ファイルが既に存在します(%1)</source>
        <translation>The output file exists already (%1)</translation>
    </message>
    <message>
        <source>出力ファイルが入力ファイルと同じです</source>
        <translation>The output file is the input file</translation>
    </message>
    <message>
        <source>%1番目のファイルの処理中にエラーが起こりました</source>
        <translation>An error occurred while writing stream %1</translation>
    </message>
    <message>
        <source>出力ファイル名を変更しました(%1 → %2)</source>
        <extracomment>%1 the name the pattern gave, %2 the free name taken instead.</extracomment>
        <translation>Output renamed (%1 → %2)</translation>
    </message>
</context>
<context>
    <name>progress</name>
    <message>
        <source>キャンセルしました  経過 %1</source>
        <extracomment>%1 the time since the run began, m:ss.</extracomment>
        <translation>Cancelled  elapsed %1</translation>
    </message>
    <message>
        <source>%1%  %2  経過 %3</source>
        <extracomment>%1 percent, %2 the rate (12.3MB/s), %3 the time since the run began.</extracomment>
        <translation>%1%  %2  elapsed %3</translation>
    </message>
    <message>
        <source>  残り %1</source>
        <extracomment>%1 the time the input still needs, m:ss.</extracomment>
        <translation>  left %1</translation>
    </message>
    <message>
        <source>キャンセルしました</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>  %1/%2個目</source>
        <extracomment>%1 the input now read, %2 the inputs of the run.</extracomment>
        <translation>  file %1 of %2</translation>
    </message>
</context>
<context>
    <name>run</name>
    <message>
        <source>IniFileを指定した場合は複数選択できません</source>
        <translation>With an INI file, only one input file can be chosen</translation>
    </message>
    <message>
        <source>入力ファイル名がINIで指定されたものと違っていますが、続行しますか？</source>
        <translation>The input file&apos;s name is not the one the INI file names. Go on?</translation>
    </message>
    <message>
        <source>CRCがINIで指定されたものと違っていますが、続行しますか？</source>
        <translation>The CRC is not the one the INI file names. Go on?</translation>
    </message>
    <message>
        <source>読んでいません</source>
        <translation>Not read</translation>
    </message>
    <message>
        <source>出力フォルダ(%1)に書き込めません: %2</source>
        <extracomment>%1 the output folder, %2 the cause (&quot;Read-only file system&quot;).</extracomment>
        <translation>Cannot write in the output folder %1: %2</translation>
    </message>
    <message>
        <source>%1個の入力ファイルは読んでいません</source>
        <extracomment>%1 how many inputs the run did not begin.</extracomment>
        <translation>%1 input files not read</translation>
    </message>
    <message>
        <source>&quot;%1&quot;は&quot;%2&quot;から始まるイメージの一部として読みます</source>
        <extracomment>%1 a segment file of an image given as an input, %2 the image&apos;s first segment file.</extracomment>
        <translation>&quot;%1&quot; is a segment of the image &quot;%2&quot; begins: it is read with it</translation>
    </message>
</context>
<context>
    <name>scan</name>
    <message>
        <source>入力ファイルが存在しません(%1)</source>
        <translation>The input file does not exist (%1)</translation>
    </message>
    <message>
        <source>&quot;%1&quot;%2</source>
        <extracomment>%1 the input file&apos;s name, %2 a row&apos;s opening (&quot;からMP3ファイルを探しますっ！&quot;).</extracomment>
        <translation>Searching &quot;%1&quot; %2</translation>
    </message>
    <message>
        <source>%1個の%2を発見。うち%3個を抽出しました</source>
        <extracomment>%1 the streams found, %2 the kind of stream (mp3, ogg, ...), %3 the streams written.</extracomment>
        <translation>%2: %1 found, %3 extracted</translation>
    </message>
    <message>
        <source>Not Found (T-T)</source>
        <extracomment>%1 the kind of stream (mp3, ogg, ...): a translation names it, the source does not.</extracomment>
        <translation>%1: nothing found</translation>
    </message>
    <message>
        <source>$%1でキャンセルしました。その先は読んでいません</source>
        <extracomment>%1 the offset where the walk stopped, in hexadecimal.</extracomment>
        <translation>Cancelled at $%1; the rest was not read</translation>
    </message>
</context>
<context>
    <name>settings</name>
    <message>
        <source>大きなID3v2タグも検出する</source>
        <translation>Find large ID3v2 tags too</translation>
    </message>
    <message>
        <source>Xing/Infoヘッダで曲を分ける</source>
        <translation>Split MP3 streams at Xing/Info headers</translation>
    </message>
    <message>
        <source>fmt 以外のチャンクで始まるWAVEも検出する</source>
        <translation>Find WAVE files that begin with another chunk than fmt</translation>
    </message>
    <message>
        <source>BOSからEOSまでそろったOggは最小ページ数によらず抽出する</source>
        <translation>Keep a whole Ogg stream (BOS to EOS) whatever its page count</translation>
    </message>
    <message>
        <source>Oggは論理ストリームを追いコーデック別に抽出する</source>
        <translation>Follow Ogg streams, name them by codec</translation>
    </message>
    <message>
        <source>RIFXも検出しコーデック別の拡張子で抽出する</source>
        <translation>Find RIFX too, name RIFF by codec</translation>
    </message>
    <message>
        <source>音声として成り立つWAVEだけを抽出する</source>
        <translation>Take only WAVE files that hold sound</translation>
    </message>
    <message>
        <source>MP3はビットリザーバの整合性も確かめる</source>
        <translation>Check the bit reservoir of MP3 frames</translation>
    </message>
    <message>
        <source>E01イメージと分割イメージをひとつのイメージとして読む</source>
        <translation>Read E01 images and split raw sets as one image</translation>
    </message>
</context>
</TS>
