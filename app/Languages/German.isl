[FrmQuorvel]
BtnOpen.Caption=Ö&ffnen
BtnSaveAs.Caption=&Speichern unter
BtnNewVer.Caption=Neueste Version
TabSheet1.Caption=Standard
TabSheet2.Caption=Erweitert
Label6.Caption=Position
Label8.Caption=Abstand
Label7.Caption=Größe
Label10.Caption=Transparenz
Label12.Caption=Farbe
RadioButtonColor.Caption=Farbig
RadioButtonH.Caption=Graustufen
RadioButtonBW.Caption=Schwarz && Weiß
Label14.Caption=Alphakanal
CheckBoxRemoveAlpa.Caption=Alphakanal entfernen
Label11.Caption=Hintergrundfarbe
CheckBoxWave.Caption=Welle
Label3.Caption=Amplitude
Label4.Caption=Wellenlänge
Label5.Caption=Phase
BtnFit.Hint=Einpassen
BtnReal.Hint=Originalgröße
BtnZoomOut.Hint=Vergrößern
BtnZoomIn.Hint=Verkleinern
M_Files.Caption=&Datei
M_Open.Caption=Ö&ffnen...
M_SaveAs.Caption=&Speichern unter...
M_Close.Caption=&Beenden
M_Language.Caption=&Sprachen
M_Help.Caption=&Hilfe
M_HomePage.Caption=&Homepage
M_About.Caption=Ü&ber...
OpenQuillotDialog1.Title=Bild öffnen
SaveQuillotDialog1.Title=Speichern unter

[FrmAbout]
Caption=Über
LabelHomepage.Caption=Homepage:
LabelEmail.Caption=E-Mail:
BtnOk.Caption=&OK

[Messages]
Ms_Error=Fehler
Ms_OpenError=Die Datei kann nicht geöffnet werden
Ms_NoOpener=Es ist kein Programm installiert, das diese Adresse öffnen kann:
Ms_PictureFiles=Bilddateien
Ms_AllFiles=Alle Dateien
Ms_Video=Windows-Video

[FileDialog]
FileName=Datei&name:
FilesOfType=Datei&typ:
Open=Ö&ffnen
Save=&Speichern
Cancel=Abbrechen
UpOneLevel=Eine Ebene nach oben
PathNotFound=Der Pfad ist nicht vorhanden.
FileNotFound=Die Datei wurde nicht gefunden.#13#10Überprüfen Sie den Dateinamen, und wiederholen Sie den Vorgang.
Replace=ist bereits vorhanden.#13#10Möchten Sie sie ersetzen?
