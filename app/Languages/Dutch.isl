[FrmQuorvel]
BtnOpen.Caption=&Openen
BtnSaveAs.Caption=Opslaan &als
BtnNewVer.Caption=Nieuwste versie
TabSheet1.Caption=Standaard
TabSheet2.Caption=Extra
Label6.Caption=Positie
Label8.Caption=Afstand
Label7.Caption=Grootte
Label10.Caption=Transparantie
Label12.Caption=Kleur
RadioButtonColor.Caption=Kleurrijk
RadioButtonH.Caption=Grijs
RadioButtonBW.Caption=Zwart-wit
Label14.Caption=Alfakanaal
CheckBoxRemoveAlpa.Caption=Alfakanaal verwijderen
Label11.Caption=Achtergrondkleur
CheckBoxWave.Caption=Golf
Label3.Caption=Amplitude
Label4.Caption=Golflengte
Label5.Caption=Fase
BtnFit.Hint=Passend
BtnReal.Hint=Ware grootte
BtnZoomOut.Hint=Inzoomen
BtnZoomIn.Hint=Uitzoomen
M_Files.Caption=&Bestand
M_Open.Caption=&Openen...
M_SaveAs.Caption=Opslaan &als...
M_Close.Caption=&Afsluiten
M_Language.Caption=&Talen
M_Help.Caption=&Help
M_HomePage.Caption=&Website
M_About.Caption=&Over...
OpenQuillotDialog1.Title=Afbeelding openen
SaveQuillotDialog1.Title=Opslaan als

[FrmAbout]
Caption=Over
LabelHomepage.Caption=Website:
LabelEmail.Caption=E-mail:
BtnOk.Caption=&OK

[Messages]
Ms_Error=Fout
Ms_OpenError=Kan het bestand niet openen
Ms_NoOpener=Er is geen programma geïnstalleerd dat dit adres kan openen:
Ms_PictureFiles=Afbeeldingsbestanden
Ms_AllFiles=Alle bestanden
Ms_Video=Windows-video

[FileDialog]
FileName=Bestands&naam:
FilesOfType=Bestands&type:
Open=&Openen
Save=Op&slaan
Cancel=Annuleren
UpOneLevel=Eén niveau omhoog
PathNotFound=Het pad bestaat niet.
FileNotFound=Bestand niet gevonden.#13#10Controleer de bestandsnaam en probeer het opnieuw.
Replace=bestaat al.#13#10Wilt u het vervangen?
