[FrmQuorvel]
BtnOpen.Caption=&Open
BtnSaveAs.Caption=&Save As
BtnNewVer.Caption=The latest version
TabSheet1.Caption=Standard
TabSheet2.Caption=Additional
Label6.Caption=Position
Label8.Caption=Space
Label7.Caption=Size
Label10.Caption=Transparency
Label12.Caption=Color
RadioButtonColor.Caption=Colorful
RadioButtonH.Caption=Gray
RadioButtonBW.Caption=Black && White
Label14.Caption=Alpha Channel
CheckBoxRemoveAlpa.Caption=Remove Alpha Channel
Label11.Caption=Background fill color
CheckBoxWave.Caption=Wave
Label3.Caption=Amplitude
Label4.Caption=Wave Length
Label5.Caption=Phase
BtnFit.Hint=Fit
BtnReal.Hint=Real size
BtnZoomOut.Hint=Zoom in
BtnZoomIn.Hint=Zoom out
M_Files.Caption=&File
M_Open.Caption=&Open...
M_SaveAs.Caption=&Save As...
M_Close.Caption=E&xit
M_Language.Caption=&Languages
M_Help.Caption=&Help
M_HomePage.Caption=Home&page
M_About.Caption=&About...
OpenQuillotDialog1.Title=Open Picture
SaveQuillotDialog1.Title=Save As

[FrmAbout]
Caption=About
LabelHomepage.Caption=Homepage:
LabelEmail.Caption=Email:
BtnOk.Caption=&Ok

[Messages]
Ms_Error=Error
Ms_OpenError=Can not open file
Ms_NoOpener=No program is installed that can open this address:
Ms_PictureFiles=Picture files
Ms_AllFiles=All files
Ms_Video=Windows Video

[FileDialog]
FileName=File &name:
FilesOfType=Files of &type:
Open=&Open
Save=&Save
Cancel=Cancel
UpOneLevel=Up one level
PathNotFound=Path does not exist.
FileNotFound=File not found.#13#10Check the file name and try again.
Replace=already exists.#13#10Do you want to replace it?
